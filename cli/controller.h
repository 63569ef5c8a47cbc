#ifndef CLI_CONTROLLER_H
#define CLI_CONTROLLER_H

#include "channelio.h"
#include "snapshot.h"

#include <QString>

#include <cstdint>

// One controller opened by locator, released again by close() or, on any way out, by the
// destructor. Every library call but the read-backs of a write is preceded by a check for a
// pending SIGINT or SIGTERM.
class Controller
{
public:
    explicit Controller(const QString &locator);
    ~Controller();
    Controller(const Controller &) = delete;
    Controller &operator=(const Controller &) = delete;

    const QString &locator() const { return m_locator; }

    // Opens the system and reads its channel count.
    bool open(QString *error);
    uint32_t channelCount() const { return m_channels; }
    bool close(QString *error);

    // The channel type; on a positioner channel also sensor type, speed, acceleration and Low
    // Vibration Mode, the read-back of the window.
    bool readChannel(uint32_t channel, ChannelSettings *out, QString *error);

    // A write with the read-backs the window makes after it; false and *error when the write
    // (or the stop before a Low Vibration write) was refused.
    bool write(uint32_t channel, nexil::Setting setting, uint32_t value, QString *error);

private:
    QString m_locator;
    uint32_t m_system = 0;
    uint32_t m_channels = 0;
    bool m_open = false;
};

#endif // CLI_CONTROLLER_H
