#include "channelio.h"
#include "velotune.h"

#include <QSignalBlocker>

void Velotune::on_sbSpeed_valueChanged(int value)
{
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const uint32_t status = nexil::writeSpeed(systemIndex, channel, uint32_t(value));
    if (status != 0) {
        showStatus(tr("Could not set speed value. Error: %1 (%2)"), status);
        return;
    }
    for (const nexil::Read read : nexil::readsAfterWrite(nexil::Setting::Speed))
        fetch(read, channel);
}

void Velotune::on_sbAcceleration_valueChanged(int value)
{
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const uint32_t status = nexil::writeAcceleration(systemIndex, channel, uint32_t(value));
    if (status != 0) {
        showStatus(tr("Could not set acceleration value. Error: %1 (%2)"), status);
        return;
    }
    for (const nexil::Read read : nexil::readsAfterWrite(nexil::Setting::Acceleration))
        fetch(read, channel);
}

void Velotune::on_pbLowVibration_clicked(bool on)
{
    const auto channel = uint32_t(ui.sbChannelIndex->value());
    const nexil::LowVibrationWrite write = nexil::writeLowVibration(systemIndex, channel, on);
    if (!write.stopped) {
        showStatus(tr("Could not set Low Vibration Mode (Axis holding position?). Error: %1 (%2)"),
                   write.status);
        return;
    }
    if (write.status != 0) {
        showStatus(tr("Could not set Low Vibration Mode. Error: %1 (%2)"), write.status);
        const QSignalBlocker blocker(ui.pbLowVibration);
        ui.pbLowVibration->setChecked(false);
        return;
    }
    ui.pbLowVibration->setText(on ? tr("&On") : tr("&Off"));
    for (const nexil::Read read : nexil::readsAfterWrite(nexil::Setting::LowVibration))
        fetch(read, channel);
}
