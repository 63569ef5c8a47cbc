#include "nexillibrary.h"
#include "velotune.h"

#include <QSignalBlocker>

void Velotune::on_sbSpeed_valueChanged(int value)
{
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const uint32_t status = nexil::TQ_SetClosedLoopMoveSpeed_S(systemIndex, channel, uint32_t(value));
    if (status != 0) {
        showStatus(tr("Could not set speed value. Error: %1 (%2)"), status);
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
        return;
    }
    fetchLowVibration(channel);
}

void Velotune::on_pbLowVibration_clicked(bool on)
{
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    uint32_t status = nexil::TQ_Stop_S(systemIndex, channel);
    if (status != 0) {
        showStatus(tr("Could not set Low Vibration Mode (Axis holding position?). Error: %1 (%2)"),
                   status);
        return;
    }

    const uint32_t key = nexil::lowVibrationKey();
    status = nexil::TQ_SetChannelProperty_S(systemIndex, channel, key, on ? 1 : 0);
    if (status != 0) {
        showStatus(tr("Could not set Low Vibration Mode. Error: %1 (%2)"), status);
        const QSignalBlocker blocker(ui.pbLowVibration);
        ui.pbLowVibration->setChecked(false);
        return;
    }
    ui.pbLowVibration->setText(on ? tr("&On") : tr("&Off"));
    fetchSpeed(channel);
    fetchAcceleration(channel);
}
