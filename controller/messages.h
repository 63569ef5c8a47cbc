#ifndef MESSAGES_H
#define MESSAGES_H

#include <QtGlobal>

// Every message about a failed controller call, once. %1 is the status number, %2 the
// library's text for it (statusformat.h fills both). The window shows them translated in its
// own context, "Velotune"; velotune-cli prints them as they are.
namespace nexil::message {

constexpr const char *search
        = QT_TRANSLATE_NOOP("Velotune", "Could not search for controllers. Error: %1 (%2)");
constexpr const char *connect
        = QT_TRANSLATE_NOOP("Velotune", "Could not connect to Nexil. Error: %1 (%2)");
constexpr const char *channelCount
        = QT_TRANSLATE_NOOP("Velotune", "Could not read the number of channels. Error: %1 (%2)");
constexpr const char *release
        = QT_TRANSLATE_NOOP("Velotune", "Could not release device. Error: %1 (%2)");
constexpr const char *readChannelType
        = QT_TRANSLATE_NOOP("Velotune", "Could not fetch current channel type. Error %1 (%2)");
constexpr const char *readSensorType
        = QT_TRANSLATE_NOOP("Velotune", "Could not fetch current sensor type. Error %1 (%2)");
constexpr const char *readSpeed = QT_TRANSLATE_NOOP(
        "Velotune", "Could not fetch current speed from device. Error: %1 (%2)");
constexpr const char *readAcceleration = QT_TRANSLATE_NOOP(
        "Velotune", "Could not fetch current acceleration from device. Error: %1 (%2)");
constexpr const char *readLowVibration = QT_TRANSLATE_NOOP(
        "Velotune", "Could not fetch current Low Vibration Mode from device. Error: %1 (%2)");
constexpr const char *writeSpeed
        = QT_TRANSLATE_NOOP("Velotune", "Could not set speed value. Error: %1 (%2)");
constexpr const char *writeAcceleration
        = QT_TRANSLATE_NOOP("Velotune", "Could not set acceleration value. Error: %1 (%2)");
constexpr const char *stopForLowVibration = QT_TRANSLATE_NOOP(
        "Velotune", "Could not set Low Vibration Mode (Axis holding position?). Error: %1 (%2)");
constexpr const char *writeLowVibration
        = QT_TRANSLATE_NOOP("Velotune", "Could not set Low Vibration Mode. Error: %1 (%2)");
// Not a failed call: more channels than any front end serves (ChannelModel::maxChannels).
constexpr const char *tooManyChannels
        = QT_TRANSLATE_NOOP("Velotune", "Device claims %1 channels; Velotune serves at most 1024.");

} // namespace nexil::message

#endif // MESSAGES_H
