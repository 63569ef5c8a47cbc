#include "snapshot.h"

#include "duplicatekeys.h"
#include "filereplace.h"
#include "units.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <cmath>

namespace nexil {

uint32_t valueOf(const ChannelSettings &channel, Setting setting)
{
    switch (setting) {
    case Setting::Speed:
        return channel.speed;
    case Setting::Acceleration:
        return channel.acceleration;
    case Setting::LowVibration:
        break;
    }
    return channel.lowVibration == LowVibration::On ? 1 : 0;
}

void setValue(ChannelSettings *channel, Setting setting, uint32_t value)
{
    switch (setting) {
    case Setting::Speed:
        channel->speed = value;
        return;
    case Setting::Acceleration:
        channel->acceleration = value;
        return;
    case Setting::LowVibration:
        break;
    }
    channel->lowVibration = value != 0 ? LowVibration::On : LowVibration::Off;
}

bool differs(const ChannelSettings &now, const ChannelSettings &wanted, Setting setting)
{
    if (setting == Setting::LowVibration)
        return now.lowVibration != wanted.lowVibration;
    return valueOf(now, setting) != valueOf(wanted, setting);
}

QString settingText(const ChannelSettings &channel, Setting setting, bool withUnit)
{
    if (info(setting).unit == nullptr && channel.lowVibration == LowVibration::Unsupported)
        return snapshot::lowVibrationText(channel.lowVibration);
    return formatValue(setting, valueOf(channel, setting),
                       withUnit ? std::optional<uint32_t>(channel.sensorType) : std::nullopt);
}

} // namespace nexil

namespace nexil::snapshot {

const char formatName[] = "velotune-snapshot";

namespace {

const QString quote = QStringLiteral("\"%1\"");

QString describe(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 17);
    case QJsonValue::String:
        return quote.arg(value.toString());
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

// Reads the keys of one JSON object, collecting the first problem as a message that names
// where in the file it is.
class Fields
{
public:
    Fields(const QJsonObject &object, const QString &where) : m_object(object), m_where(where) { }

    bool has(const char *key) const { return m_object.contains(QLatin1String(key)); }

    bool unknownKeys(const std::vector<const char *> &known, QString *error) const
    {
        QSet<QString> allowed;
        for (const char *key : known)
            allowed.insert(QLatin1String(key));
        for (auto it = m_object.begin(); it != m_object.end(); ++it) {
            if (!allowed.contains(it.key())) {
                *error = m_where + QStringLiteral("unknown key \"%1\"").arg(it.key());
                return true;
            }
        }
        return false;
    }

    bool present(const char *key, QString *error) const
    {
        if (has(key))
            return true;
        *error = m_where + QStringLiteral("\"%1\" is missing").arg(QLatin1String(key));
        return false;
    }

    // The value at `key` when it is of the kind `accepts` tells; else *error names the kind.
    bool typed(const char *key, bool (QJsonValue::*accepts)() const, const char *kind,
               QJsonValue *out, QString *error) const
    {
        if (!present(key, error))
            return false;
        *out = m_object.value(QLatin1String(key));
        if ((out->*accepts)())
            return true;
        *error = m_where
                + QStringLiteral("\"%1\" must be %2, not %3")
                          .arg(QLatin1String(key), QLatin1String(kind), describe(*out));
        return false;
    }

    bool string(const char *key, QString *out, QString *error) const
    {
        QJsonValue value;
        if (!typed(key, &QJsonValue::isString, "a string", &value, error))
            return false;
        *out = value.toString();
        return true;
    }

    bool boolean(const char *key, bool *out, QString *error) const
    {
        QJsonValue value;
        if (!typed(key, &QJsonValue::isBool, "true or false", &value, error))
            return false;
        *out = value.toBool();
        return true;
    }

    // A whole number from 0 to 2^32 - 1, the controller's unsigned 32-bit values.
    bool unsigned32(const char *key, uint32_t *out, QString *error) const
    {
        if (!present(key, error))
            return false;
        const QJsonValue value = m_object.value(QLatin1String(key));
        const double number = value.toDouble(-1);
        const QString name = QLatin1String(key);
        if (!value.isDouble() || std::floor(number) != number) {
            *error = m_where
                    + QStringLiteral("\"%1\" must be a whole number, not %2")
                              .arg(name, describe(value));
            return false;
        }
        if (number < 0) {
            *error = m_where + QStringLiteral("\"%1\" is %2, below 0").arg(name, describe(value));
            return false;
        }
        if (number > 4294967295.0) {
            *error = m_where
                    + QStringLiteral("\"%1\" is %2, above 4294967295").arg(name, describe(value));
            return false;
        }
        *out = uint32_t(number);
        return true;
    }

private:
    QJsonObject m_object;
    QString m_where;
};

bool parseChannel(const QJsonValue &value, int position, ChannelSettings *out, QString *error)
{
    const QString where = QStringLiteral("channels[%1]: ").arg(position);
    if (!value.isObject()) {
        *error = where + QStringLiteral("must be an object, not %1").arg(describe(value));
        return false;
    }
    const Fields fields(value.toObject(), where);
    uint32_t index = 0;
    if (!fields.unsigned32("index", &index, error)
        || !fields.boolean("positioner", &out->positioner, error))
        return false;
    if (index != uint32_t(position)) {
        *error = where
                + QStringLiteral(
                          "\"index\" is %1, expected %2: channels are listed in order from 0")
                          .arg(index)
                          .arg(position);
        return false;
    }
    out->index = index;
    if (!out->positioner)
        return !fields.unknownKeys({"index", "positioner"}, error);

    std::vector<const char *> known = {"index", "positioner", "sensorType"};
    for (const SettingInfo &setting : settingTable())
        known.push_back(setting.key);
    if (fields.unknownKeys(known, error)
        || !fields.unsigned32("sensorType", &out->sensorType, error))
        return false;
    // Numbers for the settings with a unit; the on/off setting also says when it is missing.
    QString lowVibration;
    for (const SettingInfo &setting : settingTable()) {
        uint32_t value = 0;
        if (setting.unit == nullptr) {
            if (!fields.string(setting.key, &lowVibration, error))
                return false;
            continue;
        }
        if (!fields.unsigned32(setting.key, &value, error))
            return false;
        setValue(out, setting.setting, value);
    }
    if (lowVibration == QLatin1String("on")) {
        out->lowVibration = LowVibration::On;
    } else if (lowVibration == QLatin1String("off")) {
        out->lowVibration = LowVibration::Off;
    } else if (lowVibration == QLatin1String("unsupported")) {
        out->lowVibration = LowVibration::Unsupported;
    } else {
        *error = where
                + QStringLiteral(
                          "\"lowVibration\" is %1, expected \"on\", \"off\" or \"unsupported\"")
                          .arg(quote.arg(lowVibration));
        return false;
    }
    return true;
}

} // namespace

QString fieldName(Setting setting)
{
    return QLatin1String(info(setting).key);
}

QString lowVibrationText(LowVibration value)
{
    switch (value) {
    case LowVibration::On:
        return QStringLiteral("on");
    case LowVibration::Off:
        return QStringLiteral("off");
    case LowVibration::Unsupported:
        break;
    }
    return QStringLiteral("unsupported");
}

namespace {

// A setting as the file holds it: a number, or the on/off setting's word.
QJsonValue settingJson(const ChannelSettings &channel, Setting setting)
{
    if (info(setting).unit == nullptr)
        return lowVibrationText(channel.lowVibration);
    return qint64(valueOf(channel, setting));
}

} // namespace

QJsonObject channelToJson(const ChannelSettings &channel)
{
    QJsonObject object;
    object.insert(QStringLiteral("index"), qint64(channel.index));
    object.insert(QStringLiteral("positioner"), channel.positioner);
    if (channel.positioner) {
        object.insert(QStringLiteral("sensorType"), qint64(channel.sensorType));
        for (const SettingInfo &setting : settingTable())
            object.insert(QLatin1String(setting.key), settingJson(channel, setting.setting));
    }
    return object;
}

QByteArray toJson(const Snapshot &snapshot)
{
    QJsonArray channels;
    for (const ChannelSettings &channel : snapshot.channels)
        channels.append(channelToJson(channel));
    QJsonObject object;
    object.insert(QStringLiteral("format"), QLatin1String(formatName));
    object.insert(QStringLiteral("version"), formatVersion);
    object.insert(QStringLiteral("locator"), snapshot.locator);
    object.insert(QStringLiteral("savedAt"), snapshot.savedAt);
    object.insert(QStringLiteral("program"), snapshot.program);
    object.insert(QStringLiteral("channels"), channels);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

namespace {

// The top-level object of a snapshot, with no key twice anywhere.
bool topObject(const QByteArray &json, const QString &prefix, QJsonObject *top, QString *error)
{
    // The parser keeps the last of two equal keys, and either of them may be the one meant.
    // Looked for first: Qt 5's parser leaks memory on a duplicate key.
    QString where;
    QString key;
    if (duplicatekeys::find(json, &where, &key)) {
        *error = prefix + (where.isEmpty() ? QString() : where + QStringLiteral(": "))
                + QStringLiteral("duplicate key \"%1\"").arg(key);
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = prefix
                + QStringLiteral("not a snapshot: not valid JSON (%1 at byte %2)")
                          .arg(parseError.errorString())
                          .arg(parseError.offset);
        return false;
    }
    if (!document.isObject()) {
        *error = prefix + QStringLiteral("not a snapshot: the top level is not a JSON object");
        return false;
    }
    *top = document.object();
    return true;
}

} // namespace

bool parse(const QByteArray &json, const QString &origin, Snapshot *out, QString *error)
{
    const QString prefix = origin + QStringLiteral(": ");
    QJsonObject top;
    if (!topObject(json, prefix, &top, error))
        return false;
    const Fields fields(top, prefix);
    // Format and version first: a different file says so rather than "unknown key".
    QString format;
    if (!fields.string("format", &format, error))
        return false;
    if (format != QLatin1String(formatName)) {
        *error = prefix
                + QStringLiteral("not a snapshot: \"format\" is %1, expected \"%2\"")
                          .arg(quote.arg(format), QLatin1String(formatName));
        return false;
    }
    uint32_t version = 0;
    if (!fields.unsigned32("version", &version, error))
        return false;
    if (version != formatVersion) {
        *error = prefix
                + QStringLiteral(
                          "snapshot version %1 is not supported (this program reads version %2)")
                          .arg(version)
                          .arg(formatVersion);
        return false;
    }
    Snapshot snapshot;
    if (fields.unknownKeys({"format", "version", "locator", "savedAt", "program", "channels"},
                           error)
        || !fields.string("locator", &snapshot.locator, error)
        || !fields.string("savedAt", &snapshot.savedAt, error)
        || !fields.string("program", &snapshot.program, error)
        || !fields.present("channels", error))
        return false;
    const QJsonValue channels = top.value(QStringLiteral("channels"));
    if (!channels.isArray()) {
        *error = prefix
                + QStringLiteral("\"channels\" must be an array, not %1").arg(describe(channels));
        return false;
    }
    const QJsonArray list = channels.toArray();
    for (int i = 0; i < list.size(); ++i) {
        ChannelSettings channel;
        if (!parseChannel(list.at(i), i, &channel, error)) {
            error->prepend(prefix);
            return false;
        }
        snapshot.channels.push_back(channel);
    }
    *out = snapshot;
    return true;
}

bool readFile(const QString &path, Snapshot *out, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = path + QStringLiteral(": no such file");
        return false;
    }
    // A FIFO or device could block or never end.
    if (!info.isFile()) {
        *error = path + QStringLiteral(": not a regular file");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": cannot be read: ") + file.errorString();
        return false;
    }
    // One byte more than allowed tells a file that grew past the limit from one that fits.
    const QByteArray data = file.read(maxFileSize + 1);
    if (data.size() > maxFileSize) {
        *error = path + QStringLiteral(": not a snapshot: larger than %1 bytes").arg(maxFileSize);
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        *error = path + QStringLiteral(": cannot be read: ") + file.errorString();
        return false;
    }
    return parse(data, path, out, error);
}

bool writeFile(const QString &path, const Snapshot &snapshot, QString *error)
{
    return filereplace::replace(path, toJson(snapshot), error);
}

bool sameUnits(uint32_t sensorType, uint32_t otherSensorType)
{
    for (const SettingInfo &setting : settingTable()) {
        if (setting.unit != nullptr && setting.unit(sensorType) != setting.unit(otherSensorType))
            return false;
    }
    return true;
}

std::vector<Difference> compare(const std::vector<ChannelSettings> &left,
                                const std::vector<ChannelSettings> &right)
{
    std::vector<Difference> out;
    if (left.size() != right.size())
        out.push_back({-1, QStringLiteral("channels"), qint64(left.size()), qint64(right.size())});
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        const ChannelSettings &a = left[i];
        const ChannelSettings &b = right[i];
        const auto add = [&](const QString &field, const QJsonValue &from, const QJsonValue &to) {
            out.push_back({int(i), field, from, to, a.sensorType, b.sensorType});
        };
        if (a.positioner != b.positioner) {
            add(QStringLiteral("positioner"), a.positioner, b.positioner);
            continue;
        }
        if (!a.positioner)
            continue;
        if (a.sensorType != b.sensorType)
            add(QStringLiteral("sensorType"), qint64(a.sensorType), qint64(b.sensorType));
        for (const SettingInfo &setting : settingTable()) {
            // Numbers in other units say nothing about each other; the sensor type line says
            // why.
            if (setting.unit != nullptr && !sameUnits(a.sensorType, b.sensorType))
                continue;
            if (differs(a, b, setting.setting))
                add(QLatin1String(setting.key), settingJson(a, setting.setting),
                    settingJson(b, setting.setting));
        }
    }
    return out;
}

std::vector<Step> plan(const std::vector<ChannelSettings> &now,
                       const std::vector<ChannelSettings> &wanted)
{
    std::vector<Step> steps;
    for (const ChannelSettings &channel : now) {
        if (!channel.positioner)
            continue;
        for (const Setting setting : allSettings()) {
            if (differs(channel, wanted[channel.index], setting))
                steps.push_back({channel.index, setting});
        }
    }
    return steps;
}

QString mismatch(const ChannelSettings &now, const ChannelSettings &wanted)
{
    if (now.positioner != wanted.positioner)
        return wanted.positioner
                ? QStringLiteral("a positioner in the file, not one on the controller")
                : QStringLiteral("not a positioner in the file, one on the controller");
    if (now.positioner && now.sensorType != wanted.sensorType)
        return QStringLiteral("sensor type %1 in the file, %2 on the controller")
                .arg(wanted.sensorType)
                .arg(now.sensorType);
    if (now.positioner
        && (now.lowVibration == LowVibration::Unsupported)
                != (wanted.lowVibration == LowVibration::Unsupported))
        return QStringLiteral("Low Vibration Mode %1 in the file, %2 on the controller")
                .arg(lowVibrationText(wanted.lowVibration), lowVibrationText(now.lowVibration));
    return QString();
}

} // namespace nexil::snapshot
