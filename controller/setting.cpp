#include "setting.h"

#include "messages.h"
#include "nexillibrary.h"
#include "session.h"
#include "units.h"

#include <QCoreApplication>

#include <algorithm>

namespace nexil {

namespace {

Failure writeSpeed(uint32_t system, uint32_t channel, uint32_t value)
{
    if (const uint32_t status = call::setClosedLoopMoveSpeed(system, channel, value))
        return {message::writeSpeed, status};
    return {};
}

Failure writeAcceleration(uint32_t system, uint32_t channel, uint32_t value)
{
    if (const uint32_t status = call::setClosedLoopMoveAcceleration(system, channel, value))
        return {message::writeAcceleration, status};
    return {};
}

Failure writeLowVibration(uint32_t system, uint32_t channel, uint32_t value)
{
    // Only a stopped channel gets the property.
    if (const uint32_t status = call::stop(system, channel))
        return {message::stopForLowVibration, status};
    const uint32_t key = lowVibrationKey();
    if (const uint32_t status = call::setChannelProperty(system, channel, key, value != 0 ? 1 : 0))
        return {message::writeLowVibration, status};
    return {};
}

} // namespace

const std::vector<SettingInfo> &settingTable()
{
    static const std::vector<SettingInfo> table = {
            {Setting::Speed,
             "speed",
             QT_TRANSLATE_NOOP("Velotune", "Speed"),
             QT_TRANSLATE_NOOP("Velotune", "speed"),
             "speed",
             speedUnit,
             0,
             100000000,
             Read::Speed,
             {Read::Acceleration, Read::LowVibration},
             writeSpeed},
            {Setting::Acceleration,
             "acceleration",
             QT_TRANSLATE_NOOP("Velotune", "Acceleration"),
             QT_TRANSLATE_NOOP("Velotune", "acceleration"),
             "acceleration",
             accelerationUnit,
             0,
             10000000,
             Read::Acceleration,
             {Read::LowVibration},
             writeAcceleration},
            {Setting::LowVibration,
             "lowVibration",
             QT_TRANSLATE_NOOP("Velotune", "Low Vibration Mode"),
             QT_TRANSLATE_NOOP("Velotune", "Low Vibration Mode"),
             "low-vibration",
             nullptr,
             0,
             1,
             Read::LowVibration,
             {Read::Speed, Read::Acceleration},
             writeLowVibration},
    };
    return table;
}

const SettingInfo &info(Setting setting)
{
    // The table is in the order of Setting.
    return settingTable()[std::size_t(setting)];
}

const std::vector<Setting> &allSettings()
{
    static const std::vector<Setting> settings = [] {
        std::vector<Setting> all;
        for (const SettingInfo &row : settingTable())
            all.push_back(row.setting);
        return all;
    }();
    return settings;
}

std::optional<Setting> settingRead(Read read)
{
    const std::vector<SettingInfo> &table = settingTable();
    const auto row = std::find_if(table.begin(), table.end(),
                                  [read](const SettingInfo &r) { return r.read == read; });
    if (row == table.end())
        return std::nullopt;
    return row->setting;
}

QString formatValue(Setting setting, uint32_t value, std::optional<uint32_t> sensorType)
{
    const SettingInfo &row = info(setting);
    if (row.unit == nullptr)
        return value != 0 ? QCoreApplication::translate("Velotune", "on")
                          : QCoreApplication::translate("Velotune", "off");
    const QString text = grouped(value);
    return sensorType ? text + QLatin1Char(' ') + row.unit(*sensorType) : text;
}

} // namespace nexil
