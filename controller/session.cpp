#include "session.h"

#include "messages.h"
#include "nexillibrary.h"

#include <cstring>

namespace nexil {

Failure findSystems(QStringList *locators)
{
    locators->clear();
    // Zeroed, so a short answer without its NUL ends there instead of running into stale
    // stack bytes.
    char buffer[4096] = {};
    uint32_t size = sizeof buffer;
    const uint32_t status = call::findSystems("interface usb", buffer, &size);
    if (status != 0)
        return {message::search, status};
    // The library need not terminate a full buffer.
    const auto length = int(strnlen(buffer, sizeof buffer));
    *locators = QString::fromUtf8(buffer, length).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return {};
}

const std::vector<Read> &fullReadBack()
{
    static const std::vector<Read> reads = {Read::ChannelType, Read::SensorType, Read::Speed,
                                            Read::Acceleration, Read::LowVibration};
    return reads;
}

const char *readFailure(Read read)
{
    switch (read) {
    case Read::ChannelType:
        return message::readChannelType;
    case Read::SensorType:
        return message::readSensorType;
    case Read::Speed:
        return message::readSpeed;
    case Read::Acceleration:
        return message::readAcceleration;
    case Read::LowVibration:
        break;
    }
    return message::readLowVibration;
}

const std::vector<Read> &readsAfterWrite(Setting setting)
{
    return info(setting).readsAfterWrite;
}

void apply(ChannelSettings *settings, Read read, const Reading &reading)
{
    if (read == Read::LowVibration && reading.status == PropertyNotSupported) {
        settings->lowVibration = LowVibration::Unsupported;
        return;
    }
    if (reading.status != 0)
        return;
    switch (read) {
    case Read::ChannelType:
        settings->positioner = reading.value == PositionerChannel;
        break;
    case Read::SensorType:
        settings->sensorType = reading.value;
        break;
    case Read::Speed:
        settings->speed = reading.value;
        break;
    case Read::Acceleration:
        settings->acceleration = reading.value;
        break;
    case Read::LowVibration:
        settings->lowVibration = reading.value != 0 ? LowVibration::On : LowVibration::Off;
        break;
    }
}

Session::Session(Checkpoint checkpoint, bool releaseWhenDestroyed)
    : m_checkpoint(checkpoint), m_releaseWhenDestroyed(releaseWhenDestroyed)
{ }

Session::~Session()
{
    // Leaving by an error or a signal: the system must not stay held.
    if (m_open && m_releaseWhenDestroyed)
        call::closeSystem(m_system);
}

void Session::checkpoint() const
{
    if (m_checkpoint != nullptr)
        m_checkpoint();
}

Failure Session::open(const QString &locator, const Report &report)
{
    m_locator = locator;
    m_channels = 0;
    checkpoint();
    const QByteArray bytes = locator.toUtf8();
    uint32_t status = call::openSystem(&m_system, bytes.constData(), "sync");
    if (status != 0) {
        const Failure failure{message::connect, status};
        if (report)
            report(failure);
        return failure;
    }
    m_open = true;
    checkpoint();
    status = call::getNumberOfChannels(m_system, &m_channels);
    if (status != 0) {
        const Failure failure{message::channelCount, status};
        if (report)
            report(failure);
        abandon();
        return failure;
    }
    return {};
}

void Session::abandon()
{
    call::closeSystem(m_system);
    m_open = false;
}

Failure Session::close()
{
    if (!m_open)
        return {};
    const uint32_t status = call::closeSystem(m_system);
    if (status != 0)
        return {message::release, status};
    m_open = false;
    return {};
}

Reading Session::read(Read what, uint32_t channel) const
{
    Reading r;
    if (what == Read::LowVibration) {
        // The key is asked of the library at every use; PropertyNotSupported: the channel has
        // no such property.
        const uint32_t key = lowVibrationKey();
        r.status = call::getChannelProperty(m_system, channel, key, &r.value);
        return r;
    }
    // The other four, in the order of Read.
    static_assert(int(Read::Acceleration) == 3, "the getters follow the order of Read");
    using Getter = uint32_t (*)(uint32_t, uint32_t, uint32_t *);
    static const Getter getters[]
            = {call::getChannelType, call::getSensorType, call::getClosedLoopMoveSpeed,
               call::getClosedLoopMoveAcceleration};
    r.status = getters[int(what)](m_system, channel, &r.value);
    return r;
}

Failure Session::readChannel(uint32_t channel, ChannelSettings *out) const
{
    ChannelSettings settings;
    settings.index = channel;
    for (const Read what : fullReadBack()) {
        checkpoint();
        const Reading reading = read(what, channel);
        if (what == Read::LowVibration && reading.status == PropertyNotSupported) {
            settings.lowVibration = LowVibration::Unsupported;
            continue;
        }
        if (reading.status != 0)
            return {readFailure(what), reading.status};
        apply(&settings, what, reading);
        // Nothing more of a channel the program does not serve is read.
        if (!settings.positioner)
            break;
    }
    *out = settings;
    return {};
}

Failure Session::write(uint32_t channel, Setting setting, uint32_t value,
                       const ReadBack &readBack) const
{
    checkpoint();
    if (const Failure failure = info(setting).write(m_system, channel, value))
        return failure;
    // No checkpoint in between: the write and its reads are one step, so the caller always
    // learns that the write was made.
    for (const Read what : readsAfterWrite(setting)) {
        const Reading reading = read(what, channel);
        if (readBack)
            readBack(what, reading);
    }
    return {};
}

} // namespace nexil
