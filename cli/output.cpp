#include "output.h"

#include "channelio.h"
#include "escaped.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLocale>

#include <cstdio>

namespace output {

void out(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void err(const QString &text)
{
    // One message, one line, whatever locator or file name it quotes.
    const QString line = QCoreApplication::applicationName() + QStringLiteral(": ")
            + nexil::escaped(text) + QLatin1Char('\n');
    std::fputs(line.toUtf8().constData(), stderr);
}

QString grouped(uint32_t value)
{
    static const QLocale german(QLocale::German);
    return german.toString(qulonglong(value));
}

QString table(const std::vector<ChannelSettings> &channels)
{
    const QStringList header = {QStringLiteral("channel"), QStringLiteral("positioner"),
                                QStringLiteral("sensor"),  QStringLiteral("speed"),
                                QStringLiteral("unit"),    QStringLiteral("acceleration"),
                                QStringLiteral("unit"),    QStringLiteral("low vibration")};
    std::vector<QStringList> rows = {header};
    for (const ChannelSettings &c : channels) {
        if (!c.positioner) {
            rows.push_back({QString::number(c.index), QStringLiteral("no")});
            continue;
        }
        rows.push_back({QString::number(c.index), QStringLiteral("yes"),
                        QString::number(c.sensorType), grouped(c.speed),
                        nexil::speedUnit(c.sensorType), grouped(c.acceleration),
                        nexil::accelerationUnit(c.sensorType),
                        snapshot::lowVibrationText(c.lowVibration)});
    }
    std::vector<int> widths(header.size(), 0);
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], int(row[i].size()));
    }
    // Numbers right-aligned, so their groups line up.
    const auto rightAligned = [](int column) { return column == 3 || column == 5; };
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            if (i > 0)
                line += QLatin1String("  ");
            line += rightAligned(i) && &row != &rows.front() ? row[i].rightJustified(widths[i])
                                                             : row[i].leftJustified(widths[i]);
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QString fieldText(const QString &field, const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    if (value.isString())
        return value.toString();
    const auto number = uint32_t(value.toDouble());
    if (field == QLatin1String("speed") || field == QLatin1String("acceleration"))
        return grouped(number);
    return QString::number(number);
}

QString differenceLine(const snapshot::Difference &d)
{
    const QString subject
            = d.channel < 0 ? d.field : QStringLiteral("channel %1 %2").arg(d.channel).arg(d.field);
    return QStringLiteral("%1: %2 -> %3")
            .arg(subject, fieldText(d.field, d.left), fieldText(d.field, d.right));
}

QJsonObject differenceJson(const snapshot::Difference &d)
{
    QJsonObject object;
    if (d.channel >= 0)
        object.insert(QStringLiteral("channel"), d.channel);
    object.insert(QStringLiteral("field"), d.field);
    object.insert(QStringLiteral("left"), d.left);
    object.insert(QStringLiteral("right"), d.right);
    return object;
}

} // namespace output
