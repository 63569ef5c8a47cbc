#ifndef SESSION_H
#define SESSION_H

#include "setting.h"
#include "snapshot.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

// What the window and the command line both do with a controller: discovery, opening one, the
// reads of a channel, and the three writes with the stop before a Low Vibration write and the
// reads that follow each write. Every call goes through the traced calls of nexillibrary.h.
namespace nexil {

// A refused call: the message format of messages.h that tells of it, and the status.
struct Failure
{
    const char *format = nullptr;
    uint32_t status = 0;
    explicit operator bool() const { return format != nullptr; }
};

// The USB-attached controllers' locators.
Failure findSystems(QStringList *locators);

struct Reading
{
    uint32_t status = 0;
    uint32_t value = 0;
};

const std::vector<Read> &fullReadBack();
// The message format for a failed `read`.
const char *readFailure(Read read);

// Puts a successful `reading` into `settings`; Low Vibration Mode's PropertyNotSupported too.
void apply(ChannelSettings *settings, Read read, const Reading &reading);

// Channel type 0 is the only kind of channel the program serves.
constexpr uint32_t PositionerChannel = 0;

// The reads a successful write of `setting` is followed by, in order.
const std::vector<Read> &readsAfterWrite(Setting setting);

class Session
{
public:
    // Called before each call that starts a step; it may throw to end the session's user.
    using Checkpoint = void (*)();
    // Told of each read that follows a write, as it is made.
    using ReadBack = std::function<void(Read, const Reading &)>;

    explicit Session(Checkpoint checkpoint = nullptr, bool releaseWhenDestroyed = false);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Told of a failure while the system is still held, so its message comes first.
    using Report = std::function<void(const Failure &)>;

    // TQ_OpenSystem with "sync", then the channel count; a system whose channels cannot be
    // counted is released again, once `report` has been told.
    Failure open(const QString &locator, const Report &report = nullptr);
    // Releases without a word: the caller found the system unusable.
    void abandon();
    Failure close();
    bool isOpen() const { return m_open; }
    const QString &locator() const { return m_locator; }
    uint32_t channelCount() const { return m_channels; }

    Reading read(Read what, uint32_t channel) const;
    // The channel type; on a positioner channel also sensor type, speed, acceleration and Low
    // Vibration Mode. Stops at the first failed read.
    Failure readChannel(uint32_t channel, ChannelSettings *out) const;

    // Writes `value` (for Low Vibration Mode 0 or 1, after a stop) and, when it was taken,
    // makes the reads of readsAfterWrite(), telling `readBack` of each.
    Failure write(uint32_t channel, Setting setting, uint32_t value,
                  const ReadBack &readBack = nullptr) const;

private:
    Checkpoint m_checkpoint;
    bool m_releaseWhenDestroyed;
    QString m_locator;
    uint32_t m_system = 0;
    uint32_t m_channels = 0;
    bool m_open = false;

    void checkpoint() const;
};

} // namespace nexil

#endif // SESSION_H
