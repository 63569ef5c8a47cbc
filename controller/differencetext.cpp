#include "differencetext.h"

#include "restoretext.h"
#include "units.h"

namespace nexil::snapshot {

QString fieldText(const QString &field, const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    if (value.isString())
        return value.toString();
    const auto number = uint32_t(value.toDouble());
    if (hasUnit(field))
        return nexil::grouped(number);
    return QString::number(number);
}

namespace {

const SettingInfo *settingOf(const QString &field)
{
    for (const SettingInfo &row : settingTable()) {
        if (field == QLatin1String(row.key))
            return &row;
    }
    return nullptr;
}

} // namespace

bool hasUnit(const QString &field)
{
    const SettingInfo *row = settingOf(field);
    return row != nullptr && row->unit != nullptr;
}

QString unitOf(const QString &field, uint32_t sensorType)
{
    const SettingInfo *row = settingOf(field);
    return row != nullptr && row->unit != nullptr ? row->unit(sensorType) : QString();
}

QString valueText(const QString &field, const QJsonValue &value, uint32_t sensorType)
{
    const QString text = fieldText(field, value);
    return hasUnit(field) ? text + QLatin1Char(' ') + unitOf(field, sensorType) : text;
}

bool unitsDiffer(const Difference &difference)
{
    return difference.field == QLatin1String("sensorType")
            && !sameUnits(difference.leftSensorType, difference.rightSensorType);
}

QString unitsNote(const Difference &difference)
{
    if (!unitsDiffer(difference))
        return QString();
    return restoretext::otherUnits(QStringLiteral(" (%1 -> %2)")
                                           .arg(speedUnit(difference.leftSensorType),
                                                speedUnit(difference.rightSensorType)));
}

QString differenceLine(const Difference &difference)
{
    const QString subject = difference.channel < 0
            ? difference.field
            : QStringLiteral("channel %1 %2").arg(difference.channel).arg(difference.field);
    // Both sides have the same units here: compare() leaves out numbers in other units.
    const QString left = valueText(difference.field, difference.left, difference.leftSensorType);
    const QString right = valueText(difference.field, difference.right, difference.rightSensorType);
    QString line = QStringLiteral("%1: %2 -> %3").arg(subject, left, right);
    const QString note = unitsNote(difference);
    if (!note.isEmpty())
        line += QStringLiteral(", ") + note;
    return line;
}

} // namespace nexil::snapshot
