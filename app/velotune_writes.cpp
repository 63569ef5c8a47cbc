#include "queuedsteps.h"
#include "slowlink.h"
#include "velotune.h"

#include <QSignalBlocker>

namespace {

// After a refused write the box shows what the controller holds, or, when that cannot be
// read either, what it showed before the attempt.
void showAfterRefusal(SepSpinBox *box, const nexil::Reading &held)
{
    if (held.status == 0) {
        box->showHeld(held.value);
        return;
    }
    const QSignalBlocker blocker(box);
    box->setValue(box->valueBeforeEdit());
}

} // namespace

// The reads that follow a write, each shown as it is made.
nexil::Session::ReadBack Velotune::shownReads()
{
    return [this](nexil::Read read, const nexil::Reading &reading) { showRead(read, reading); };
}

void Velotune::on_sbSpeed_valueChanged(int value)
{
    stepped(ui.sbSpeed, value);
}

void Velotune::on_sbAcceleration_valueChanged(int value)
{
    stepped(ui.sbAcceleration, value);
}

void Velotune::stepped(SepSpinBox *box, int value)
{
    const slowlink::Action action;
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    if (queuedSteps->hold(box, channel))
        return;
    writeHeldSteps(box);
    writeBox(box, channel, value);
}

void Velotune::writeBox(SepSpinBox *box, uint32_t channel, int value)
{
    const nexil::WriteResult result = model->write(channel, fields.at(box).second, uint32_t(value),
                                                   nexil::Source::Form, shownReads(), true);
    if (result.outcome == nexil::Outcome::Refused) {
        showMessage(result.message, messageTimeout);
        showAfterRefusal(box, *result.held);
        return;
    }
    // Taken: the box's range now follows this value, not the one read before.
    box->showHeld(uint32_t(value));
}

// After a refused stop or property write the button shows the controller's state, or, when
// that cannot be read, the state and text it had before the click.
void Velotune::showLowVibrationAfterRefusal(const nexil::Reading &held, bool clickedOn)
{
    const QSignalBlocker blocker(ui.pbLowVibration);
    ui.pbLowVibration->setChecked(held.status == 0 ? held.value != 0 : !clickedOn);
    if (held.status == 0)
        ui.pbLowVibration->setText(held.value != 0 ? tr("&On") : tr("&Off"));
}

// The box's value now is the last of the merged steps.
void Velotune::writeHeldSteps(const QAbstractSpinBox *except)
{
    const slowlink::Action action;
    for (const QueuedSteps::Held &held : queuedSteps->takeHeld()) {
        if (held.box == except)
            continue;
        SepSpinBox *box = fields.at(held.box).first;
        writeBox(box, held.channel, box->value());
    }
}

void Velotune::on_pbLowVibration_clicked(bool on)
{
    const slowlink::Action action;
    writeHeldSteps();
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const nexil::WriteResult result
            = model->write(channel, nexil::Setting::LowVibration, on ? 1 : 0, nexil::Source::Form,
                           shownReads(), true);
    if (result.outcome == nexil::Outcome::Refused) {
        showMessage(result.message, messageTimeout);
        showLowVibrationAfterRefusal(*result.held, on);
        return;
    }
    ui.pbLowVibration->setText(on ? tr("&On") : tr("&Off"));
}

// Typed text the box would not take: the status bar says why.
void Velotune::on_sbSpeed_refused(const QString &reason)
{
    showMessage(reason, messageTimeout);
}

void Velotune::on_sbAcceleration_refused(const QString &reason)
{
    showMessage(reason, messageTimeout);
}
