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
    const bool speed = box == ui.sbSpeed;
    const nexil::Setting setting = speed ? nexil::Setting::Speed : nexil::Setting::Acceleration;
    const nexil::Failure failure
            = send(channel, setting, uint32_t(value), heldBefore(channel, setting), shownReads());
    if (failure) {
        showStatus(failure);
        const nexil::Read read = speed ? nexil::Read::Speed : nexil::Read::Acceleration;
        const nexil::Reading held = session.read(read, channel);
        noteRead(channel, read, held);
        showAfterRefusal(box, held);
        return;
    }
    // Taken: the box's range now follows this value, not the one read before.
    box->showHeld(uint32_t(value));
}

// After a refused stop or property write the button shows the controller's state, or, when
// that cannot be read, the state and text it had before the click.
void Velotune::showLowVibrationAfterRefusal(uint32_t channel, bool clickedOn)
{
    const nexil::Reading held = session.read(nexil::Read::LowVibration, channel);
    noteRead(channel, nexil::Read::LowVibration, held);
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
        SepSpinBox *box = held.box == ui.sbSpeed ? ui.sbSpeed : ui.sbAcceleration;
        writeBox(box, held.channel, box->value());
    }
}

void Velotune::on_pbLowVibration_clicked(bool on)
{
    const slowlink::Action action;
    writeHeldSteps();
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const nexil::Failure failure
            = send(channel, nexil::Setting::LowVibration, on ? 1 : 0, on ? 0 : 1, shownReads());
    if (failure) {
        showStatus(failure);
        showLowVibrationAfterRefusal(channel, on);
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

nexil::Failure Velotune::send(uint32_t channel, nexil::Setting setting, uint32_t value,
                              std::optional<uint32_t> before,
                              const nexil::Session::ReadBack &readBack)
{
    const nexil::Failure failure = session.write(
            channel, setting, value, [&](nexil::Read read, const nexil::Reading &reading) {
                noteRead(channel, read, reading);
                if (readBack)
                    readBack(read, reading);
            });
    noteSent(channel, setting, value, before, failure);
    return failure;
}
