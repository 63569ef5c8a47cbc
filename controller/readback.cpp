#include "channelio.h"
#include "nexillibrary.h"
#include "slowlink.h"
#include "velotune.h"

#include <QSignalBlocker>

void Velotune::on_sbChannelIndex_valueChanged(int value)
{
    const slowlink::Action action;
    // Steps held for the channel being left are its own.
    writeHeldSteps();
    const auto channel = uint32_t(value);
    for (const nexil::Read read : nexil::fullReadBack())
        fetch(read, channel);
}

void Velotune::fetch(nexil::Read read, uint32_t channel)
{
    switch (read) {
    case nexil::Read::ChannelType:
        return fetchChannelType(channel);
    case nexil::Read::SensorType:
        return fetchSensorType(channel);
    case nexil::Read::Speed:
        return fetchSpeed(channel);
    case nexil::Read::Acceleration:
        return fetchAcceleration(channel);
    case nexil::Read::LowVibration:
        return fetchLowVibration(channel);
    }
}

void Velotune::fetchChannelType(uint32_t channel)
{
    const nexil::Reading type = nexil::readChannelType(systemIndex, channel);
    if (type.status != 0) {
        showStatus(tr("Could not fetch current channel type. Error %1 (%2)"), type.status);
        return;
    }
    const QString refusal = tr("This programm works only with positioners channels!");
    if (type.value != nexil::PositionerChannel) {
        ui.gbConfiguration->setEnabled(false);
        ui.statusBar->showMessage(refusal);
        return;
    }
    ui.gbConfiguration->setEnabled(true);
    // The refusal has no time limit; it must not outlive the channel it was about.
    if (ui.statusBar->currentMessage() == refusal)
        ui.statusBar->clearMessage();
}

void Velotune::fetchSensorType(uint32_t channel)
{
    const nexil::Reading type = nexil::readSensorType(systemIndex, channel);
    if (type.status != 0) {
        ui.gbConfiguration->setEnabled(false);
        showStatus(tr("Could not fetch current sensor type. Error %1 (%2)"), type.status);
        return;
    }
    ui.lSpeed->setText(nexil::speedLabel(type.value));
    ui.lAcceleration->setText(nexil::accelerationLabel(type.value));
}

void Velotune::fetchSpeed(uint32_t channel)
{
    const nexil::Reading speed = nexil::readSpeed(systemIndex, channel);
    if (speed.status != 0) {
        showStatus(tr("Could not fetch current speed from device. Error: %1 (%2)"), speed.status);
        return;
    }
    ui.sbSpeed->showHeld(speed.value);
}

void Velotune::fetchAcceleration(uint32_t channel)
{
    const nexil::Reading acceleration = nexil::readAcceleration(systemIndex, channel);
    if (acceleration.status != 0) {
        showStatus(tr("Could not fetch current acceleration from device. Error: %1 (%2)"),
                   acceleration.status);
        return;
    }
    ui.sbAcceleration->showHeld(acceleration.value);
}

void Velotune::fetchLowVibration(uint32_t channel)
{
    const nexil::Reading lowVibration = nexil::readLowVibration(systemIndex, channel);
    const uint32_t status = lowVibration.status;
    const uint32_t value = lowVibration.value;
    if (status == nexil::PropertyNotSupported) {
        ui.lLowVibration->setEnabled(false);
        ui.pbLowVibration->setEnabled(false);
        return;
    }
    ui.lLowVibration->setEnabled(true);
    ui.pbLowVibration->setEnabled(true);
    // The library need not have written a value on failure: keep what the button shows.
    if (status != 0) {
        showStatus(tr("Could not fetch current Low Vibration Mode from device. Error: %1 (%2)"),
                   status);
        return;
    }
    const QSignalBlocker blocker(ui.pbLowVibration);
    ui.pbLowVibration->setChecked(value != 0);
    ui.pbLowVibration->setText(value != 0 ? tr("&On") : tr("&Off"));
}
