#include "nexillibrary.h"
#include "units.h"
#include "velotune.h"

#include <QSignalBlocker>

void Velotune::fetch(nexil::Read read, uint32_t channel)
{
    showRead(read, model->read(read, channel));
}

void Velotune::showRead(nexil::Read read, const nexil::Reading &reading)
{
    switch (read) {
    case nexil::Read::ChannelType:
        return showChannelType(reading);
    case nexil::Read::SensorType:
        return showSensorType(reading);
    case nexil::Read::Speed:
        return showSpeed(reading);
    case nexil::Read::Acceleration:
        return showAcceleration(reading);
    case nexil::Read::LowVibration:
        return showLowVibration(reading);
    }
}

void Velotune::showChannelType(const nexil::Reading &type)
{
    const int channel = ui.sbChannelIndex->value();
    if (type.status != 0) {
        showStatus({nexil::readFailure(nexil::Read::ChannelType), type.status});
        return;
    }
    const QString refusal = tr("This programm works only with positioners channels!");
    if (type.value != nexil::PositionerChannel) {
        ui.gbConfiguration->setEnabled(false);
        // Logged once while the form stays on the channel, through rereads, reconnects and
        // restores; shown each time.
        const QString where = model->locator() + QLatin1Char('\n') + QString::number(channel);
        if (refusalLoggedFor == where) {
            ui.statusBar->showMessage(refusal, 0);
        } else {
            showMessage(refusal, 0);
            refusalLoggedFor = where;
        }
        return;
    }
    refusalLoggedFor.clear();
    ui.gbConfiguration->setEnabled(true);
    // The refusal has no time limit; it must not outlive the channel it was about.
    if (ui.statusBar->currentMessage() == refusal)
        ui.statusBar->clearMessage();
}

void Velotune::showSensorType(const nexil::Reading &type)
{
    if (type.status != 0) {
        ui.gbConfiguration->setEnabled(false);
        showStatus({nexil::readFailure(nexil::Read::SensorType), type.status});
        return;
    }
    ui.lSpeed->setText(nexil::speedLabel(type.value));
    ui.lAcceleration->setText(nexil::accelerationLabel(type.value));
}

void Velotune::showSpeed(const nexil::Reading &speed)
{
    if (speed.status != 0) {
        showStatus({nexil::readFailure(nexil::Read::Speed), speed.status});
        return;
    }
    ui.sbSpeed->showHeld(speed.value);
}

void Velotune::showAcceleration(const nexil::Reading &acceleration)
{
    if (acceleration.status != 0) {
        showStatus({nexil::readFailure(nexil::Read::Acceleration), acceleration.status});
        return;
    }
    ui.sbAcceleration->showHeld(acceleration.value);
}

void Velotune::showLowVibration(const nexil::Reading &lowVibration)
{
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
        showStatus({nexil::readFailure(nexil::Read::LowVibration), status});
        return;
    }
    const QSignalBlocker blocker(ui.pbLowVibration);
    ui.pbLowVibration->setChecked(value != 0);
    ui.pbLowVibration->setText(value != 0 ? tr("&On") : tr("&Off"));
}

void Velotune::showChannelSettings(const nexil::ChannelSettings &settings)
{
    if (!ui.sbChannelIndex->isEnabled() || settings.index != uint32_t(ui.sbChannelIndex->value()))
        return;
    showChannelType({0, settings.positioner ? nexil::PositionerChannel : 1});
    if (!settings.positioner)
        return;
    const bool supported = settings.lowVibration != nexil::LowVibration::Unsupported;
    const nexil::Reading lowVibration{supported ? 0 : nexil::PropertyNotSupported,
                                      settings.lowVibration == nexil::LowVibration::On ? 1U : 0U};
    showSensorType({0, settings.sensorType});
    showSpeed({0, settings.speed});
    showAcceleration({0, settings.acceleration});
    showLowVibration(lowVibration);
}
