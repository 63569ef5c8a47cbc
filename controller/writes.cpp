#include "channelio.h"
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

void Velotune::on_sbSpeed_valueChanged(int value)
{
    const slowlink::Action action;
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    if (queuedSteps->hold(ui.sbSpeed, channel))
        return;
    writeHeldSteps(ui.sbSpeed);
    writeSpeed(channel, value);
}

void Velotune::writeSpeed(uint32_t channel, int value)
{
    const uint32_t status = nexil::writeSpeed(systemIndex, channel, uint32_t(value));
    if (status != 0) {
        showStatus(tr("Could not set speed value. Error: %1 (%2)"), status);
        showAfterRefusal(ui.sbSpeed, nexil::readSpeed(systemIndex, channel));
        return;
    }
    // Taken: the box's range now follows this value, not the one read before.
    ui.sbSpeed->showHeld(uint32_t(value));
    for (const nexil::Read read : nexil::readsAfterWrite(nexil::Setting::Speed))
        fetch(read, channel);
}

void Velotune::on_sbAcceleration_valueChanged(int value)
{
    const slowlink::Action action;
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    if (queuedSteps->hold(ui.sbAcceleration, channel))
        return;
    writeHeldSteps(ui.sbAcceleration);
    writeAcceleration(channel, value);
}

void Velotune::writeAcceleration(uint32_t channel, int value)
{
    const uint32_t status = nexil::writeAcceleration(systemIndex, channel, uint32_t(value));
    if (status != 0) {
        showStatus(tr("Could not set acceleration value. Error: %1 (%2)"), status);
        showAfterRefusal(ui.sbAcceleration, nexil::readAcceleration(systemIndex, channel));
        return;
    }
    ui.sbAcceleration->showHeld(uint32_t(value));
    for (const nexil::Read read : nexil::readsAfterWrite(nexil::Setting::Acceleration))
        fetch(read, channel);
}

// After a refused stop or property write the button shows the controller's state, or, when
// that cannot be read, the state and text it had before the click.
void Velotune::showLowVibrationAfterRefusal(uint32_t channel, bool clickedOn)
{
    const nexil::Reading held = nexil::readLowVibration(systemIndex, channel);
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
        if (held.box == ui.sbSpeed)
            writeSpeed(held.channel, ui.sbSpeed->value());
        else
            writeAcceleration(held.channel, ui.sbAcceleration->value());
    }
}

void Velotune::on_pbLowVibration_clicked(bool on)
{
    const slowlink::Action action;
    writeHeldSteps();
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const nexil::LowVibrationWrite write = nexil::writeLowVibration(systemIndex, channel, on);
    if (!write.stopped) {
        showStatus(tr("Could not set Low Vibration Mode (Axis holding position?). Error: %1 (%2)"),
                   write.status);
        showLowVibrationAfterRefusal(channel, on);
        return;
    }
    if (write.status != 0) {
        showStatus(tr("Could not set Low Vibration Mode. Error: %1 (%2)"), write.status);
        showLowVibrationAfterRefusal(channel, on);
        return;
    }
    ui.pbLowVibration->setText(on ? tr("&On") : tr("&Off"));
    for (const nexil::Read read : nexil::readsAfterWrite(nexil::Setting::LowVibration))
        fetch(read, channel);
}

// Typed text the box would not take: the status bar says why.
void Velotune::on_sbSpeed_refused(const QString &reason)
{
    ui.statusBar->showMessage(reason, messageTimeout);
}

void Velotune::on_sbAcceleration_refused(const QString &reason)
{
    ui.statusBar->showMessage(reason, messageTimeout);
}
