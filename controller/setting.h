#ifndef SETTING_H
#define SETTING_H

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The per-channel settings, described once: the form, the overview, the history, the snapshot
// files, their comparison and velotune-cli's options all take what they need of a setting from
// its row of settingTable().
namespace nexil {

struct Failure;

// The settings, in the order the window shows them and a restore writes them.
enum class Setting { Speed, Acceleration, LowVibration };

// The five reads of a channel, in the order a full read-back makes them.
enum class Read { ChannelType, SensorType, Speed, Acceleration, LowVibration };

struct SettingInfo
{
    Setting setting;
    // The key in a channel of a snapshot file.
    const char *key;
    // The form's name of the field, and the history's, both translated in "Velotune".
    const char *label;
    const char *historyName;
    // velotune-cli's option, without the dashes.
    const char *option;
    // The unit on a channel of that sensor type; null for an on/off setting.
    QString (*unit)(uint32_t sensorType);
    // What the form's field takes.
    uint32_t minimum;
    uint32_t maximum;
    // The read that tells what the controller holds.
    Read read;
    // The reads a taken write is followed by, in order.
    std::vector<Read> readsAfterWrite;
    // The write, with what comes before it; `system` is the library's handle.
    Failure (*write)(uint32_t system, uint32_t channel, uint32_t value);
};

// Every setting, in write order.
const std::vector<SettingInfo> &settingTable();
const SettingInfo &info(Setting setting);
const std::vector<Setting> &allSettings();
// The setting `read` reads, if any.
std::optional<Setting> settingRead(Read read);

// A value as people read it: numbers grouped (2.000.000), on/off settings "on" or "off", and,
// when the sensor type is given, the unit after a space.
QString formatValue(Setting setting, uint32_t value,
                    std::optional<uint32_t> sensorType = std::nullopt);

} // namespace nexil

#endif // SETTING_H
