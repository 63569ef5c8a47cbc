#include "differencetext.h"

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

bool hasUnit(const QString &field)
{
    return field == QLatin1String("speed") || field == QLatin1String("acceleration");
}

QString unitOf(const QString &field, uint32_t sensorType)
{
    return field == QLatin1String("speed") ? nexil::speedUnit(sensorType)
                                           : nexil::accelerationUnit(sensorType);
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

} // namespace nexil::snapshot
