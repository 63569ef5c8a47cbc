#include "nexillibrary.h"
#include "velotune.h"

#include <QSignalBlocker>

#include <algorithm>

namespace {

// After a refused write the box shows what the controller holds, or, when that cannot be
// read either, what it showed before the attempt.
void showAfterRefusal(SepSpinBox *box, bool read, uint32_t held)
{
    const QSignalBlocker blocker(box);
    box->setValue(read ? int(std::min(held, uint32_t(box->maximum()))) : box->valueBeforeEdit());
}

} // namespace

void Velotune::on_sbSpeed_valueChanged(int value)
{
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const uint32_t status = nexil::TQ_SetClosedLoopMoveSpeed_S(systemIndex, channel, uint32_t(value));
    if (status != 0) {
        showStatus(tr("Could not set speed value. Error: %1 (%2)"), status);
        uint32_t speed = 0;
        const bool read = nexil::TQ_GetClosedLoopMoveSpeed_S(systemIndex, channel, &speed) == 0;
        showAfterRefusal(ui.sbSpeed, read, speed);
        return;
    }
    fetchAcceleration(channel);
    fetchLowVibration(channel);
}

void Velotune::on_sbAcceleration_valueChanged(int value)
{
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const uint32_t status
            = nexil::TQ_SetClosedLoopMoveAcceleration_S(systemIndex, channel, uint32_t(value));
    if (status != 0) {
        showStatus(tr("Could not set acceleration value. Error: %1 (%2)"), status);
        uint32_t acceleration = 0;
        const bool read
                = nexil::TQ_GetClosedLoopMoveAcceleration_S(systemIndex, channel, &acceleration) == 0;
        showAfterRefusal(ui.sbAcceleration, read, acceleration);
        return;
    }
    fetchLowVibration(channel);
}

// After a refused stop or property write the button shows the controller's state, or, when
// that cannot be read, the state and text it had before the click.
void Velotune::showLowVibrationAfterRefusal(uint32_t channel, bool clickedOn)
{
    uint32_t held = 0;
    const uint32_t key = nexil::lowVibrationKey();
    const bool read = nexil::TQ_GetChannelProperty_S(systemIndex, channel, key, &held) == 0;
    const QSignalBlocker blocker(ui.pbLowVibration);
    ui.pbLowVibration->setChecked(read ? held != 0 : !clickedOn);
    if (read)
        ui.pbLowVibration->setText(held != 0 ? tr("&On") : tr("&Off"));
}

void Velotune::on_pbLowVibration_clicked(bool on)
{
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    uint32_t status = nexil::TQ_Stop_S(systemIndex, channel);
    if (status != 0) {
        showStatus(tr("Could not set Low Vibration Mode (Axis holding position?). Error: %1 (%2)"),
                   status);
        showLowVibrationAfterRefusal(channel, on);
        return;
    }

    const uint32_t key = nexil::lowVibrationKey();
    status = nexil::TQ_SetChannelProperty_S(systemIndex, channel, key, on ? 1 : 0);
    if (status != 0) {
        showStatus(tr("Could not set Low Vibration Mode. Error: %1 (%2)"), status);
        showLowVibrationAfterRefusal(channel, on);
        return;
    }
    ui.pbLowVibration->setText(on ? tr("&On") : tr("&Off"));
    fetchSpeed(channel);
    fetchAcceleration(channel);
}
