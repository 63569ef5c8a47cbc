#ifndef DIFFERENCETEXT_H
#define DIFFERENCETEXT_H

#include "snapshot.h"

#include <QJsonValue>
#include <QString>

// How the values of a difference read for people: velotune-cli's diff lines and the window's
// comparison show them alike.
namespace nexil::snapshot {

// The value alone, speed and acceleration grouped.
QString fieldText(const QString &field, const QJsonValue &value);
bool hasUnit(const QString &field);
// The unit of speed or acceleration on a channel of that sensor type.
QString unitOf(const QString &field, uint32_t sensorType);
// The value with its unit where it has one.
QString valueText(const QString &field, const QJsonValue &value, uint32_t sensorType);
// A sensor type of other units: speed and acceleration were not compared.
bool unitsDiffer(const Difference &difference);
// For a sensor type of other units "other units (nm/sec -> µ°/sec): speed and acceleration not
// compared"; empty otherwise.
QString unitsNote(const Difference &difference);
// "channel 0 speed: 1.500.000 nm/sec -> 2.000.000 nm/sec", and the note after a comma.
QString differenceLine(const Difference &difference);

} // namespace nexil::snapshot

#endif // DIFFERENCETEXT_H
