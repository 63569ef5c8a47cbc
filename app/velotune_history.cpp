#include "history.h"
#include "historylog.h"
#include "nexillibrary.h"
#include "statusformat.h"
#include "statustip.h"
#include "units.h"
#include "velotune.h"

void Velotune::on_aHistory_triggered()
{
    if (historyWindow == nullptr)
        historyWindow = new History(historyLog, this);
    historyWindow->show();
    historyWindow->raise();
    historyWindow->activateWindow();
}

void Velotune::showMessage(const QString &message, int timeout, const QString &details)
{
    if (details.isEmpty())
        ui.statusBar->showMessage(message, timeout);
    else
        statusTip->showMessage(message, details, timeout);
    historyLog->add(HistoryLog::Kind::Message,
                    details.isEmpty() ? message : tr("%1 (%2)").arg(message, details));
}

QString Velotune::failureMessage(const nexil::Failure &failure)
{
    // noteSent() has just asked the library about this refusal: the controller sees one
    // question per failure, as it did before there was a history.
    if (notedFailure.format == failure.format && notedFailure.status == failure.status
        && notedFailure) {
        notedFailure = nexil::Failure();
        return std::exchange(notedMessage, QString());
    }
    notedFailure = nexil::Failure();
    notedMessage.clear();
    return nexil::statusMessage(tr(failure.format), failure.status, statusText(failure.status));
}

namespace {

QString settingName(nexil::Setting setting)
{
    switch (setting) {
    case nexil::Setting::Speed:
        return Velotune::tr("speed");
    case nexil::Setting::Acceleration:
        return Velotune::tr("acceleration");
    case nexil::Setting::LowVibration:
        return Velotune::tr("Low Vibration Mode");
    }
    return QString();
}

QString valueText(nexil::Setting setting, std::optional<uint32_t> value)
{
    if (!value)
        return Velotune::tr("unknown");
    if (setting == nexil::Setting::LowVibration)
        return *value != 0 ? Velotune::tr("on") : Velotune::tr("off");
    return nexil::grouped(*value);
}

} // namespace

void Velotune::noteSent(uint32_t channel, nexil::Setting setting, uint32_t value,
                        std::optional<uint32_t> before, const nexil::Failure &failure)
{
    QString unit;
    const auto sensorType = sensorTypes.find(channel);
    if (sensorType != sensorTypes.end() && setting != nexil::Setting::LowVibration)
        unit = QLatin1Char(' ')
                + (setting == nexil::Setting::Speed ? nexil::speedUnit(sensorType->second)
                                                    : nexil::accelerationUnit(sensorType->second));
    QString outcome = tr("written");
    if (failure) {
        notedFailure = nexil::Failure();
        notedMessage = failureMessage(failure);
        notedFailure = failure;
        outcome = tr("FAILED: %1").arg(notedMessage);
    } else {
        heldValues[{channel, setting}] = value;
    }
    historyLog->add(HistoryLog::Kind::Write,
                    tr("Channel %1: %2 %3 \u2192 %4%5: %6")
                            .arg(channel)
                            .arg(settingName(setting), valueText(setting, before),
                                 valueText(setting, value), unit, outcome));
    rereadOverviewRow(channel);
}

void Velotune::noteRead(uint32_t channel, nexil::Read read, const nexil::Reading &reading)
{
    nexil::Setting setting = nexil::Setting::Speed;
    switch (read) {
    case nexil::Read::ChannelType:
        return;
    case nexil::Read::SensorType:
        if (reading.status == 0)
            noteSensorType(channel, reading.value);
        return;
    case nexil::Read::Speed:
        break;
    case nexil::Read::Acceleration:
        setting = nexil::Setting::Acceleration;
        break;
    case nexil::Read::LowVibration:
        setting = nexil::Setting::LowVibration;
        break;
    }
    if (reading.status != 0) {
        heldValues.erase({channel, setting});
        return;
    }
    heldValues[{channel, setting}] = setting == nexil::Setting::LowVibration
            ? uint32_t(reading.value != 0)
            : reading.value;
}

void Velotune::noteChannelSettings(const nexil::ChannelSettings &settings)
{
    if (!settings.positioner)
        return;
    const bool supported = settings.lowVibration != nexil::LowVibration::Unsupported;
    noteRead(settings.index, nexil::Read::SensorType, {0, settings.sensorType});
    noteRead(settings.index, nexil::Read::Speed, {0, settings.speed});
    noteRead(settings.index, nexil::Read::Acceleration, {0, settings.acceleration});
    noteRead(settings.index, nexil::Read::LowVibration,
             {supported ? 0 : nexil::PropertyNotSupported,
              settings.lowVibration == nexil::LowVibration::On ? 1U : 0U});
}

void Velotune::noteSensorType(uint32_t channel, uint32_t sensorType)
{
    sensorTypes[channel] = sensorType;
}

std::optional<uint32_t> Velotune::heldBefore(uint32_t channel, nexil::Setting setting) const
{
    const auto held = heldValues.find({channel, setting});
    if (held == heldValues.end())
        return std::nullopt;
    return held->second;
}

void Velotune::forgetChannels()
{
    sensorTypes.clear();
    heldValues.clear();
}
