#ifndef UNITS_H
#define UNITS_H

#include "grouping.h"

#include <QString>

#include <cstdint>

// Unit labels of speed and acceleration, chosen by the sensor type: linear or angular.
namespace nexil {

bool isLinearSensor(uint32_t sensorType);
QString speedUnit(uint32_t sensorType);
QString accelerationUnit(uint32_t sensorType);
// "Speed [nm/sec]:" and the like, as the window's labels read.
QString speedLabel(uint32_t sensorType);
QString accelerationLabel(uint32_t sensorType);

// The grouping the window's widgets use too (2.000.000), whatever the machine's locale.
inline QString grouped(qint64 value)
{
    return text::grouped(value);
}

} // namespace nexil

#endif // UNITS_H
