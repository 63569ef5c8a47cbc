#ifndef CHANNELIO_H
#define CHANNELIO_H

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// What the window and the command line both do with a controller: discovery, the reads of one
// channel, the three writes with the stop before a Low Vibration write, and which reads follow
// each write. Every call goes through the traced functions of nexillibrary.h.
namespace nexil {

// The USB-attached controllers' locators. Returns the status of the search.
uint32_t findSystems(QStringList *locators);

struct Reading
{
    uint32_t status = 0;
    uint32_t value = 0;
};

// The five reads of a channel, in the order a full read-back makes them.
enum class Read { ChannelType, SensorType, Speed, Acceleration, LowVibration };
const std::vector<Read> &fullReadBack();

Reading readChannelType(uint32_t system, uint32_t channel);
Reading readSensorType(uint32_t system, uint32_t channel);
Reading readSpeed(uint32_t system, uint32_t channel);
Reading readAcceleration(uint32_t system, uint32_t channel);
// The key from TQ_EPK, then the property; PropertyNotSupported means the channel has none.
Reading readLowVibration(uint32_t system, uint32_t channel);
Reading read(Read what, uint32_t system, uint32_t channel);

// Channel type 0 is the only kind of channel the program serves.
constexpr uint32_t PositionerChannel = 0;

// The three settings, in the order the window shows them and a restore writes them.
enum class Setting { Speed, Acceleration, LowVibration };

// The reads a successful write of `setting` is followed by, in order.
const std::vector<Read> &readsAfterWrite(Setting setting);

uint32_t writeSpeed(uint32_t system, uint32_t channel, uint32_t speed);
uint32_t writeAcceleration(uint32_t system, uint32_t channel, uint32_t acceleration);

struct LowVibrationWrite
{
    bool stopped = false; // false: the stop failed and nothing was written
    uint32_t status = 0;  // of the stop when it failed, else of the property write
};
// Stops the channel first; only a stopped channel gets the property.
LowVibrationWrite writeLowVibration(uint32_t system, uint32_t channel, bool on);

// Unit labels of speed and acceleration, chosen by the sensor type: linear or angular.
bool isLinearSensor(uint32_t sensorType);
QString speedUnit(uint32_t sensorType);
QString accelerationUnit(uint32_t sensorType);
// "Speed [nm/sec]:" and the like, as the window's labels read.
QString speedLabel(uint32_t sensorType);
QString accelerationLabel(uint32_t sensorType);

} // namespace nexil

#endif // CHANNELIO_H
