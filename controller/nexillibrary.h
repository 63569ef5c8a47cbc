#ifndef NEXILLIBRARY_H
#define NEXILLIBRARY_H

#include <QLoggingCategory>
#include <QString>

#include <cstdint>

Q_DECLARE_LOGGING_CATEGORY(lcController)

// The controller library, chosen when the program starts: the file named by the environment
// variable NEXILCONTROL_LIBRARY, else the maker's libNexilControl.so on the system's library
// path. It is loaded once, with all fifteen functions or not at all, and every call the program
// makes goes through the functions below, which trace it on the category velotune.controller.
namespace nexil {

// The status every call answers while no usable library is loaded; its text says why.
constexpr uint32_t LibraryUnavailable = 65535;
// The one failure the program tells apart: the channel has no such property.
constexpr uint32_t PropertyNotSupported = 155;

struct LibraryInfo
{
    bool loaded = false;
    bool simulator = false; // the file says it is Velotune's controller simulator
    QString file;           // the file in use, or the one that was tried
    QString error;          // why nothing is loaded; empty when loaded
    QString reason;         // the same in a few words, for one line of the window
};

// Loads on first use; later calls give the same answer.
const LibraryInfo &library();

// Told after each library call the program makes how long it took, in nanoseconds. The trace's
// own status texts are not counted. Null, the default: nobody is told, nothing is timed.
using CallObserver = void (*)(qint64 nanoseconds);
void setCallObserver(CallObserver observer);

// The traced calls, one per function of the library; the trace names the library's function.
namespace call {

uint32_t findSystems(const char *options, char *outBuffer, uint32_t *ioBufferSize);
uint32_t openSystem(uint32_t *systemIndex, const char *locator, const char *options);
uint32_t closeSystem(uint32_t systemIndex);
uint32_t getNumberOfChannels(uint32_t systemIndex, uint32_t *channels);
uint32_t getChannelType(uint32_t systemIndex, uint32_t channelIndex, uint32_t *type);
uint32_t getSensorType(uint32_t systemIndex, uint32_t channelIndex, uint32_t *type);
uint32_t getClosedLoopMoveSpeed(uint32_t systemIndex, uint32_t channelIndex, uint32_t *speed);
uint32_t getClosedLoopMoveAcceleration(uint32_t systemIndex, uint32_t channelIndex,
                                       uint32_t *acceleration);
uint32_t setClosedLoopMoveSpeed(uint32_t systemIndex, uint32_t channelIndex, uint32_t speed);
uint32_t setClosedLoopMoveAcceleration(uint32_t systemIndex, uint32_t channelIndex,
                                       uint32_t acceleration);
uint32_t propertyKey(uint32_t selector, uint32_t subSelector, uint32_t property);
uint32_t getChannelProperty(uint32_t systemIndex, uint32_t channelIndex, uint32_t key,
                            uint32_t *value);
uint32_t setChannelProperty(uint32_t systemIndex, uint32_t channelIndex, uint32_t key,
                            uint32_t value);
uint32_t stop(uint32_t systemIndex, uint32_t channelIndex);
uint32_t getStatusInfo(uint32_t status, const char **info);

} // namespace call

// The key of a channel's Low Vibration Mode property, asked of the library at every use.
inline uint32_t lowVibrationKey()
{
    return call::propertyKey(1, 2, 1);
}

} // namespace nexil

#endif // NEXILLIBRARY_H
