#ifndef SNAPSHOT_H
#define SNAPSHOT_H

#include "setting.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <vector>

// The settings of every channel of one controller, and their file format (README, "Snapshot
// files"): a JSON object with a format name and version, written in one piece.
namespace nexil {

enum class LowVibration { Off, On, Unsupported };

struct ChannelSettings
{
    uint32_t index = 0;
    bool positioner = false;
    // Only meaningful on a positioner channel.
    uint32_t sensorType = 0;
    uint32_t speed = 0;
    uint32_t acceleration = 0;
    LowVibration lowVibration = LowVibration::Off;
};

// Low Vibration Mode as written: 1 on, 0 off.
uint32_t valueOf(const ChannelSettings &channel, Setting setting);
void setValue(ChannelSettings *channel, Setting setting, uint32_t value);
bool differs(const ChannelSettings &now, const ChannelSettings &wanted, Setting setting);
// The channel's `setting` through formatValue(), with the unit of its sensor type if asked;
// "unsupported" for a mode the channel does not have.
QString settingText(const ChannelSettings &channel, Setting setting, bool withUnit = false);

struct Snapshot
{
    QString locator;
    QString savedAt; // ISO 8601, UTC
    QString program;
    std::vector<ChannelSettings> channels;
};

namespace snapshot {

extern const char formatName[];
constexpr int formatVersion = 1;
// Far above any real controller's snapshot; anything bigger is not one.
constexpr qint64 maxFileSize = qint64(4) * 1024 * 1024;

QString lowVibrationText(LowVibration value);
// The key `setting` has in a channel of the file: "speed", "acceleration", "lowVibration".
QString fieldName(Setting setting);
QJsonObject channelToJson(const ChannelSettings &channel);
QByteArray toJson(const Snapshot &snapshot);

// On failure *error says what is wrong, naming the file as `origin`.
bool parse(const QByteArray &json, const QString &origin, Snapshot *out, QString *error);
bool readFile(const QString &path, Snapshot *out, QString *error);
// All or nothing: an existing file is only replaced once the new one is complete on disk, and
// keeps its owner, group and mode. Anything but a regular file is refused.
bool writeFile(const QString &path, const Snapshot &snapshot, QString *error);

// One field that differs between two sets of channels, `left` -> `right`.
struct Difference
{
    int channel = -1; // -1: the channel count
    QString field;
    QJsonValue left;
    QJsonValue right;
    // The channel's sensor types on both sides, which give speed and acceleration their units.
    uint32_t leftSensorType = 0;
    uint32_t rightSensorType = 0;
};
// Speed and acceleration are only compared between sensor types with the same units.
bool sameUnits(uint32_t sensorType, uint32_t otherSensorType);
std::vector<Difference> compare(const std::vector<ChannelSettings> &left,
                                const std::vector<ChannelSettings> &right);

// One write of a restore.
struct Step
{
    uint32_t channel = 0;
    Setting setting = Setting::Speed;
};
// Every setting of a positioner channel in `now` that differs from the same channel of
// `wanted` (indexed by channel), channel by channel in the order of allSettings().
std::vector<Step> plan(const std::vector<ChannelSettings> &now,
                       const std::vector<ChannelSettings> &wanted);
// Why `now` cannot be given `wanted`'s settings, or empty when it can.
QString mismatch(const ChannelSettings &now, const ChannelSettings &wanted);

} // namespace snapshot

} // namespace nexil

#endif // SNAPSHOT_H
