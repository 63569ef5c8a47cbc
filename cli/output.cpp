#include "output.h"

#include "differencetext.h"
#include "escaped.h"
#include "units.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace output {

namespace {

int outputError = 0;

} // namespace

void out(const QString &text)
{
    // Unbuffered, so nothing is left to be lost at exit, and a signal that interrupts a write
    // to a slow reader does not drop the rest of the text.
    const QByteArray bytes = text.toUtf8();
    const char *next = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0 && outputError == 0) {
        const ssize_t written = ::write(STDOUT_FILENO, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            outputError = written < 0 ? errno : EIO;
            break;
        }
        next += written;
        left -= written;
    }
}

int outError()
{
    return outputError;
}

void err(const QString &text)
{
    // One message, one line, whatever locator or file name it quotes.
    const QString line = QCoreApplication::applicationName() + QStringLiteral(": ")
            + nexil::escaped(text) + QLatin1Char('\n');
    std::fputs(line.toUtf8().constData(), stderr);
}

QString table(const std::vector<nexil::ChannelSettings> &channels)
{
    const QStringList header = {QStringLiteral("channel"), QStringLiteral("positioner"),
                                QStringLiteral("sensor"),  QStringLiteral("speed"),
                                QStringLiteral("unit"),    QStringLiteral("acceleration"),
                                QStringLiteral("unit"),    QStringLiteral("low vibration")};
    std::vector<QStringList> rows = {header};
    for (const nexil::ChannelSettings &c : channels) {
        if (!c.positioner) {
            rows.push_back({QString::number(c.index), QStringLiteral("no")});
            continue;
        }
        rows.push_back({QString::number(c.index), QStringLiteral("yes"),
                        QString::number(c.sensorType), nexil::grouped(c.speed),
                        nexil::speedUnit(c.sensorType), nexil::grouped(c.acceleration),
                        nexil::accelerationUnit(c.sensorType),
                        nexil::snapshot::lowVibrationText(c.lowVibration)});
    }
    // Numbers right-aligned, so their groups line up.
    return columns(rows, {3, 5});
}

QString columns(const std::vector<QStringList> &rows, const std::vector<int> &rightAligned)
{
    std::vector<int> widths;
    for (const QStringList &row : rows) {
        widths.resize(std::max(widths.size(), std::size_t(row.size())), 0);
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], int(row[i].size()));
    }
    const auto right = [&rightAligned](int column) {
        return std::find(rightAligned.begin(), rightAligned.end(), column) != rightAligned.end();
    };
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            if (i > 0)
                line += QLatin1String("  ");
            line += right(i) && &row != &rows.front() ? row[i].rightJustified(widths[i])
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

namespace {

QJsonObject unitsJson(uint32_t sensorType)
{
    QJsonObject units;
    units.insert(QStringLiteral("speed"), nexil::speedUnit(sensorType));
    units.insert(QStringLiteral("acceleration"), nexil::accelerationUnit(sensorType));
    return units;
}

} // namespace

QString differenceLine(const nexil::snapshot::Difference &d)
{
    return nexil::snapshot::differenceLine(d);
}

QJsonObject differenceJson(const nexil::snapshot::Difference &d)
{
    QJsonObject object;
    if (d.channel >= 0)
        object.insert(QStringLiteral("channel"), d.channel);
    object.insert(QStringLiteral("field"), d.field);
    object.insert(QStringLiteral("left"), d.left);
    object.insert(QStringLiteral("right"), d.right);
    if (nexil::snapshot::hasUnit(d.field))
        object.insert(QStringLiteral("unit"), nexil::snapshot::unitOf(d.field, d.leftSensorType));
    if (d.field == QLatin1String("sensorType")) {
        object.insert(QStringLiteral("leftUnits"), unitsJson(d.leftSensorType));
        object.insert(QStringLiteral("rightUnits"), unitsJson(d.rightSensorType));
        // true: speed and acceleration of this channel were not compared.
        object.insert(QStringLiteral("unitsDiffer"), nexil::snapshot::unitsDiffer(d));
    }
    return object;
}

} // namespace output
