#include "units.h"

#include <algorithm>
#include <iterator>

namespace nexil {

namespace {

const QChar micro(0x00B5);
const QChar degree(0x00B0);
const QChar squared(0x00B2);

} // namespace

bool isLinearSensor(uint32_t sensorType)
{
    static const uint32_t linear[] = {1, 5, 6, 9, 18, 21, 24, 32, 35, 38, 40, 41, 42, 43, 44};
    return std::find(std::begin(linear), std::end(linear), sensorType) != std::end(linear);
}

QString speedUnit(uint32_t sensorType)
{
    if (isLinearSensor(sensorType))
        return QStringLiteral("nm/sec");
    return QString(micro) + degree + QLatin1String("/sec");
}

QString accelerationUnit(uint32_t sensorType)
{
    if (isLinearSensor(sensorType))
        return QString(micro) + QLatin1String("m/sec") + squared;
    return QLatin1String("m") + degree + QLatin1String("/sec") + squared;
}

QString speedLabel(uint32_t sensorType)
{
    return QLatin1String("Speed [") + speedUnit(sensorType) + QLatin1String("]:");
}

QString accelerationLabel(uint32_t sensorType)
{
    return QLatin1String("Acceleration [") + accelerationUnit(sensorType) + QLatin1String("]:");
}

} // namespace nexil
