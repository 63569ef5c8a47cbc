#ifndef CLI_OUTPUT_H
#define CLI_OUTPUT_H

#include "snapshot.h"

#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <vector>

namespace output {

// Always UTF-8, whatever the locale: the unit labels carry µ, ° and ².
void out(const QString &text);
// The errno of the first write to standard output that failed (EPIPE: the reader is gone),
// 0 if none did. Once one failed, out() writes nothing more.
int outError();
void err(const QString &text); // prefixed with the program's name

// One row per channel: index, positioner, sensor type, units, speed, acceleration, Low
// Vibration Mode.
QString table(const std::vector<nexil::ChannelSettings> &channels);
// Rows in columns two spaces apart, the first row a header; below it the columns named in
// `rightAligned` are right-aligned. Trailing blanks are cut.
QString columns(const std::vector<QStringList> &rows, const std::vector<int> &rightAligned = {});
QByteArray json(const QJsonObject &object);

// Speed and acceleration carry the units of the channel's sensor type, as the window's labels
// show them; a sensor type of other units says that the two were not compared.
QString differenceLine(const nexil::snapshot::Difference &difference);
QJsonObject differenceJson(const nexil::snapshot::Difference &difference);

} // namespace output

#endif // CLI_OUTPUT_H
