#include "journalevent.h"

#include "escaped.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <array>
#include <cmath>
#include <cstdlib>

namespace nexil::journal {

namespace {

constexpr std::array<Kind, 6> kinds = {Kind::Connect,      Kind::Release,    Kind::Write,
                                       Kind::RestoreStart, Kind::RestoreEnd, Kind::Compare};
constexpr std::array<Outcome, 3> outcomes
        = {Outcome::Taken, Outcome::Refused, Outcome::NotReadBack};

bool escapedInLine(char16_t c)
{
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || c == 0x2028 || c == 0x2029;
}

// A line stays short whatever is typed into a locator box.
constexpr int maxText = 4096;

// JSON string contents: a lone surrogate cannot be UTF-8, so it stays an escape as well.
QString jsonText(const QString &whole)
{
    const QString text = whole.size() > maxText ? whole.left(maxText) + QChar(0x2026) : whole;
    QString out;
    out.reserve(text.size() + 2);
    for (int i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size()
                && QChar::isLowSurrogate(text[i + 1].unicode());
        if (pair) {
            out += text[i];
            out += text[++i];
        } else if (c == '"' || c == '\\') {
            out += QLatin1Char('\\');
            out += text[i];
        } else if (c == '\n') {
            out += QLatin1String("\\n");
        } else if (c == '\t') {
            out += QLatin1String("\\t");
        } else if (escapedInLine(c) || QChar::isSurrogate(c)) {
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        } else {
            out += text[i];
        }
    }
    return out;
}

class LineWriter
{
public:
    void text(const char *key, const QString &value)
    {
        if (!value.isEmpty())
            raw(key, QLatin1Char('"') + jsonText(value) + QLatin1Char('"'));
    }
    void number(const char *key, std::optional<uint32_t> value)
    {
        if (value)
            raw(key, QString::number(*value));
    }
    void value(const char *key, std::optional<Setting> setting, std::optional<uint32_t> value)
    {
        if (!value)
            return;
        if (setting && info(*setting).unit == nullptr)
            text(key, valueName(*setting, *value));
        else
            number(key, value);
    }
    void raw(const char *key, const QString &json)
    {
        m_line += m_line.isEmpty() ? QLatin1String("{\"") : QLatin1String(", \"");
        m_line += QLatin1String(key) + QLatin1String("\": ") + json;
    }
    QByteArray finish() const { return (m_line + QLatin1String("}\n")).toUtf8(); }

private:
    QString m_line;
};

bool readNumber(const QJsonValue &value, std::optional<uint32_t> *out)
{
    if (value.isUndefined())
        return true;
    const double d = value.toDouble(-1);
    if (!value.isDouble() || d < 0 || d > 4294967295.0 || std::floor(d) != d)
        return false;
    *out = uint32_t(d);
    return true;
}

bool readText(const QJsonValue &value, QString *out)
{
    if (value.isUndefined())
        return true;
    *out = value.toString();
    return value.isString();
}

// A number, or "on"/"off" for Low Vibration Mode.
bool readValue(const QJsonValue &value, std::optional<Setting> setting,
               std::optional<uint32_t> *out)
{
    if (!value.isString())
        return readNumber(value, out);
    if (!setting || info(*setting).unit != nullptr)
        return false;
    if (value == QLatin1String("on"))
        *out = 1;
    else if (value == QLatin1String("off"))
        *out = 0;
    else
        return false;
    return true;
}

// The form the writer gives a time, read without the general parser; any other ISO form too.
QDateTime parseTime(const QString &text)
{
    static const QString form = QStringLiteral("0000-00-00T00:00:00.000Z");
    bool canonical = text.size() == form.size();
    for (int i = 0; canonical && i < text.size(); ++i)
        canonical = form[i] == QLatin1Char('0') ? text[i].isDigit() && text[i].unicode() < 0x80
                                                : text[i] == form[i];
    if (!canonical) {
        const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
        return time.isValid() ? time.toUTC() : QDateTime();
    }
    const auto number = [&](int at, int digits) {
        int value = 0;
        for (int i = at; i < at + digits; ++i)
            value = value * 10 + (text[i].unicode() - '0');
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QString csvField(const QString &text)
{
    QString shown = escaped(text);
    if (!shown.contains(QLatin1Char(',')) && !shown.contains(QLatin1Char('"'))
        && shown.trimmed() == shown)
        return shown;
    return QLatin1Char('"') + shown.replace(QLatin1Char('"'), QLatin1String("\"\""))
            + QLatin1Char('"');
}

// The local zone's offset at `msecs`, asked once per quarter of an hour: zones change their
// offset only on such boundaries, and asking the system for every line costs more than the
// rest of a log.
int offsetAt(qint64 msecs)
{
    constexpr qint64 quarter = qint64(15) * 60 * 1000;
    thread_local QHash<qint64, int> offsets;
    const qint64 bucket = msecs >= 0 ? msecs / quarter : (msecs - quarter + 1) / quarter;
    const auto found = offsets.constFind(bucket);
    if (found != offsets.constEnd())
        return *found;
    if (offsets.size() > 100000)
        offsets.clear();
    const int offset = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime().offsetFromUtc();
    offsets.insert(bucket, offset);
    return offset;
}

void appendDigits(QString *out, qint64 value, int digits)
{
    QChar text[8];
    for (int i = digits - 1; i >= 0; --i, value /= 10)
        text[i] = QLatin1Char(char('0' + value % 10));
    out->append(text, digits);
}

QString optionalNumber(std::optional<uint32_t> value)
{
    return value ? QString::number(*value) : QString();
}

} // namespace

const QStringList &sources()
{
    static const QStringList names
            = {QStringLiteral("form"),    QStringLiteral("overview"),    QStringLiteral("restore"),
               QStringLiteral("cli set"), QStringLiteral("cli restore"), QStringLiteral("python")};
    return names;
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Connect:
        return QStringLiteral("connect");
    case Kind::Release:
        return QStringLiteral("release");
    case Kind::Write:
        return QStringLiteral("write");
    case Kind::RestoreStart:
        return QStringLiteral("restore-start");
    case Kind::RestoreEnd:
        return QStringLiteral("restore-end");
    case Kind::Compare:
        break;
    }
    return QStringLiteral("compare");
}

QString outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::None:
        return QString();
    case Outcome::Taken:
        return QStringLiteral("taken");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::NotReadBack:
        break;
    }
    return QStringLiteral("not read back");
}

std::optional<Setting> settingFromName(const QString &name)
{
    for (const SettingInfo &row : settingTable()) {
        if (name == QLatin1String(row.key))
            return row.setting;
    }
    return std::nullopt;
}

QString valueName(Setting setting, uint32_t value)
{
    // An on/off setting has no unit.
    if (info(setting).unit == nullptr)
        return value != 0 ? QStringLiteral("on") : QStringLiteral("off");
    return QString::number(value);
}

QByteArray toLine(const Event &e)
{
    LineWriter line;
    line.text("time", e.time.toUTC().toString(Qt::ISODateWithMs));
    line.text("program", e.program);
    line.raw("pid", QString::number(e.pid));
    line.text("event", kindName(e.kind));
    line.text("locator", e.locator);
    line.number("channel", e.channel);
    if (e.setting)
        line.text("setting", QLatin1String(info(*e.setting).key));
    line.value("old", e.setting, e.oldValue);
    line.value("new", e.setting, e.newValue);
    line.text("unit", e.unit);
    line.text("outcome", outcomeName(e.outcome));
    line.number("status", e.status);
    line.text("text", e.text);
    line.text("source", e.source);
    line.text("file", e.file);
    line.text("left", e.left);
    line.text("right", e.right);
    line.number("differences", e.differences);
    line.number("writes", e.writes);
    return line.finish();
}

bool fromLine(const QByteArray &line, Event *out)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject o = document.object();
    Event e;
    e.time = parseTime(o.value(QLatin1String("time")).toString());
    if (!e.time.isValid())
        return false;
    const QString event = o.value(QLatin1String("event")).toString();
    const auto kind = std::find_if(kinds.begin(), kinds.end(),
                                   [&](Kind k) { return kindName(k) == event; });
    if (kind == kinds.end())
        return false;
    e.kind = *kind;
    QString setting;
    QString outcome;
    std::optional<uint32_t> pid;
    bool ok = readText(o.value(QLatin1String("setting")), &setting);
    if (!setting.isEmpty()) {
        e.setting = settingFromName(setting);
        ok = ok && e.setting;
    }
    ok = ok && readText(o.value(QLatin1String("outcome")), &outcome);
    if (!outcome.isEmpty()) {
        const auto found = std::find_if(outcomes.begin(), outcomes.end(),
                                        [&](Outcome c) { return outcomeName(c) == outcome; });
        ok = ok && found != outcomes.end();
        e.outcome = found != outcomes.end() ? *found : Outcome::None;
    }
    ok = ok && readText(o.value(QLatin1String("program")), &e.program)
            && readNumber(o.value(QLatin1String("pid")), &pid)
            && readText(o.value(QLatin1String("locator")), &e.locator)
            && readNumber(o.value(QLatin1String("channel")), &e.channel)
            && readValue(o.value(QLatin1String("old")), e.setting, &e.oldValue)
            && readValue(o.value(QLatin1String("new")), e.setting, &e.newValue)
            && readText(o.value(QLatin1String("unit")), &e.unit)
            && readNumber(o.value(QLatin1String("status")), &e.status)
            && readText(o.value(QLatin1String("text")), &e.text)
            && readText(o.value(QLatin1String("source")), &e.source)
            && readText(o.value(QLatin1String("file")), &e.file)
            && readText(o.value(QLatin1String("left")), &e.left)
            && readText(o.value(QLatin1String("right")), &e.right)
            && readNumber(o.value(QLatin1String("differences")), &e.differences)
            && readNumber(o.value(QLatin1String("writes")), &e.writes);
    if (!ok)
        return false;
    e.pid = pid.value_or(0);
    *out = e;
    return true;
}

QString localTime(const QDateTime &time, bool iso)
{
    const qint64 utc = time.toMSecsSinceEpoch();
    const int offset = offsetAt(utc);
    const qint64 local = utc + qint64(offset) * 1000;
    constexpr qint64 day = 86400000;
    const qint64 days = local >= 0 ? local / day : (local - day + 1) / day;
    const qint64 ms = local - days * day;
    const QDate date = QDate(1970, 1, 1).addDays(days);
    QString out;
    out.reserve(32);
    appendDigits(&out, date.year(), 4);
    out += QLatin1Char('-');
    appendDigits(&out, date.month(), 2);
    out += QLatin1Char('-');
    appendDigits(&out, date.day(), 2);
    out += iso ? QLatin1Char('T') : QLatin1Char(' ');
    appendDigits(&out, ms / 3600000, 2);
    out += QLatin1Char(':');
    appendDigits(&out, ms / 60000 % 60, 2);
    out += QLatin1Char(':');
    appendDigits(&out, ms / 1000 % 60, 2);
    if (!iso)
        return out;
    out += QLatin1Char('.');
    appendDigits(&out, ms % 1000, 3);
    out += offset < 0 ? QLatin1Char('-') : QLatin1Char('+');
    appendDigits(&out, std::abs(offset) / 3600, 2);
    out += QLatin1Char(':');
    appendDigits(&out, std::abs(offset) / 60 % 60, 2);
    return out;
}

const QStringList &csvHeader()
{
    static const QStringList header
            = {QStringLiteral("time"),    QStringLiteral("program"), QStringLiteral("pid"),
               QStringLiteral("event"),   QStringLiteral("locator"), QStringLiteral("channel"),
               QStringLiteral("setting"), QStringLiteral("old"),     QStringLiteral("new"),
               QStringLiteral("unit"),    QStringLiteral("outcome"), QStringLiteral("status"),
               QStringLiteral("text"),    QStringLiteral("source"),  QStringLiteral("file"),
               QStringLiteral("left"),    QStringLiteral("right"),   QStringLiteral("differences"),
               QStringLiteral("writes")};
    return header;
}

QString csvRow(const Event &e)
{
    const auto value = [&](std::optional<uint32_t> v) {
        return v && e.setting ? valueName(*e.setting, *v) : optionalNumber(v);
    };
    const QStringList fields = {localTime(e.time, true),
                                csvField(e.program),
                                QString::number(e.pid),
                                kindName(e.kind),
                                csvField(e.locator),
                                optionalNumber(e.channel),
                                e.setting ? QLatin1String(info(*e.setting).key) : QString(),
                                value(e.oldValue),
                                value(e.newValue),
                                csvField(e.unit),
                                outcomeName(e.outcome),
                                optionalNumber(e.status),
                                csvField(e.text),
                                csvField(e.source),
                                csvField(e.file),
                                csvField(e.left),
                                csvField(e.right),
                                optionalNumber(e.differences),
                                optionalNumber(e.writes)};
    return fields.join(QLatin1Char(','));
}

} // namespace nexil::journal
