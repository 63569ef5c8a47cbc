#include "nexillibrary.h"
#include "velotune.h"

#include <QSignalBlocker>

#include <algorithm>

namespace {

bool isLinearSensor(uint32_t type)
{
    static const uint32_t linear[] = {1, 5, 6, 9, 18, 21, 24, 32, 35, 38, 40, 41, 42, 43, 44};
    return std::find(std::begin(linear), std::end(linear), type) != std::end(linear);
}

// Compare unsigned before narrowing: a value of 2^31 or more must show as the maximum, not wrap.
void showValue(QSpinBox *box, uint32_t value)
{
    const QSignalBlocker blocker(box);
    box->setValue(int(std::min(value, uint32_t(box->maximum()))));
}

const QChar micro(0x00B5);
const QChar degree(0x00B0);
const QChar squared(0x00B2);

} // namespace

void Velotune::on_sbChannelIndex_valueChanged(int value)
{
    const auto channel = uint32_t(value);
    fetchChannelType(channel);
    fetchSensorType(channel);
    fetchSpeed(channel);
    fetchAcceleration(channel);
    fetchLowVibration(channel);
}

void Velotune::fetchChannelType(uint32_t channel)
{
    uint32_t type = 0;
    const uint32_t status = nexil::TQ_GetChannelType(systemIndex, channel, &type);
    if (status != 0) {
        showStatus(tr("Could not fetch current channel type. Error %1 (%2)"), status);
        return;
    }
    const QString refusal = tr("This programm works only with positioners channels!");
    if (type != 0) {
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
    uint32_t type = 0;
    const uint32_t status = nexil::TQ_GetSensorType_S(systemIndex, channel, &type);
    if (status != 0) {
        ui.gbConfiguration->setEnabled(false);
        showStatus(tr("Could not fetch current sensor type. Error %1 (%2)"), status);
        return;
    }
    if (isLinearSensor(type)) {
        ui.lSpeed->setText(QLatin1String("Speed [nm/sec]:"));
        ui.lAcceleration->setText(QLatin1String("Acceleration [") + micro + QLatin1String("m/sec")
                                  + squared + QLatin1String("]:"));
    } else {
        ui.lSpeed->setText(QLatin1String("Speed [") + micro + degree + QLatin1String("/sec]:"));
        ui.lAcceleration->setText(QLatin1String("Acceleration [m") + degree + QLatin1String("/sec")
                                  + squared + QLatin1String("]:"));
    }
}

void Velotune::fetchSpeed(uint32_t channel)
{
    uint32_t speed = 0;
    const uint32_t status = nexil::TQ_GetClosedLoopMoveSpeed_S(systemIndex, channel, &speed);
    if (status != 0) {
        showStatus(tr("Could not fetch current speed from device. Error: %1 (%2)"), status);
        return;
    }
    showValue(ui.sbSpeed, speed);
}

void Velotune::fetchAcceleration(uint32_t channel)
{
    uint32_t acceleration = 0;
    const uint32_t status = nexil::TQ_GetClosedLoopMoveAcceleration_S(systemIndex, channel, &acceleration);
    if (status != 0) {
        showStatus(tr("Could not fetch current acceleration from device. Error: %1 (%2)"), status);
        return;
    }
    showValue(ui.sbAcceleration, acceleration);
}

void Velotune::fetchLowVibration(uint32_t channel)
{
    const uint32_t key = nexil::lowVibrationKey();
    uint32_t value = 0;
    const uint32_t status = nexil::TQ_GetChannelProperty_S(systemIndex, channel, key, &value);
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
