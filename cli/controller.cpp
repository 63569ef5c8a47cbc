#include "controller.h"

#include "interrupt.h"
#include "nexillibrary.h"
#include "statusformat.h"

namespace {

QString channelMessage(uint32_t channel, const char *format, uint32_t status)
{
    return QStringLiteral("channel %1: ").arg(channel)
            + nexil::statusMessage(QLatin1String(format), status);
}

} // namespace

Controller::Controller(const QString &locator) : m_locator(locator) { }

Controller::~Controller()
{
    // Leaving by an error or a signal: the system must not stay held.
    if (m_open)
        nexil::TQ_CloseSystem(m_system);
}

bool Controller::open(QString *error)
{
    interrupt::check();
    const QByteArray locator = m_locator.toUtf8();
    uint32_t status = nexil::TQ_OpenSystem(&m_system, locator.constData(), "sync");
    if (status != 0) {
        *error = m_locator + QStringLiteral(": ")
                + nexil::statusMessage(QStringLiteral("Could not connect to Nexil. Error: %1 (%2)"),
                                       status);
        return false;
    }
    m_open = true;
    interrupt::check();
    status = nexil::TQ_GetNumberOfChannels(m_system, &m_channels);
    if (status != 0) {
        *error = m_locator + QStringLiteral(": ")
                + nexil::statusMessage(
                         QStringLiteral("Could not read the number of channels. Error: %1 (%2)"),
                         status);
        return false;
    }
    return true;
}

bool Controller::close(QString *error)
{
    if (!m_open)
        return true;
    const uint32_t status = nexil::TQ_CloseSystem(m_system);
    if (status != 0) {
        *error = m_locator + QStringLiteral(": ")
                + nexil::statusMessage(QStringLiteral("Could not release device. Error: %1 (%2)"),
                                       status);
        return false;
    }
    m_open = false;
    return true;
}

bool Controller::readChannel(uint32_t channel, ChannelSettings *out, QString *error)
{
    ChannelSettings settings;
    settings.index = channel;
    for (const nexil::Read what : nexil::fullReadBack()) {
        interrupt::check();
        const nexil::Reading reading = nexil::read(what, m_system, channel);
        switch (what) {
        case nexil::Read::ChannelType:
            if (reading.status != 0) {
                *error = channelMessage(channel,
                                        "Could not fetch current channel type. Error %1 (%2)",
                                        reading.status);
                return false;
            }
            settings.positioner = reading.value == nexil::PositionerChannel;
            // Nothing of a channel the program does not serve is read.
            if (!settings.positioner) {
                *out = settings;
                return true;
            }
            break;
        case nexil::Read::SensorType:
            if (reading.status != 0) {
                *error = channelMessage(channel,
                                        "Could not fetch current sensor type. Error %1 (%2)",
                                        reading.status);
                return false;
            }
            settings.sensorType = reading.value;
            break;
        case nexil::Read::Speed:
            if (reading.status != 0) {
                *error = channelMessage(channel,
                                        "Could not fetch current speed from device. Error: %1 (%2)",
                                        reading.status);
                return false;
            }
            settings.speed = reading.value;
            break;
        case nexil::Read::Acceleration:
            if (reading.status != 0) {
                *error = channelMessage(
                        channel, "Could not fetch current acceleration from device. Error: %1 (%2)",
                        reading.status);
                return false;
            }
            settings.acceleration = reading.value;
            break;
        case nexil::Read::LowVibration:
            if (reading.status == nexil::PropertyNotSupported) {
                settings.lowVibration = LowVibration::Unsupported;
            } else if (reading.status != 0) {
                *error = channelMessage(
                        channel,
                        "Could not fetch current Low Vibration Mode from device. Error: %1 (%2)",
                        reading.status);
                return false;
            } else {
                settings.lowVibration = reading.value != 0 ? LowVibration::On : LowVibration::Off;
            }
            break;
        }
    }
    *out = settings;
    return true;
}

bool Controller::write(uint32_t channel, nexil::Setting setting, uint32_t value, QString *error)
{
    interrupt::check();
    switch (setting) {
    case nexil::Setting::Speed:
        if (const uint32_t status = nexil::writeSpeed(m_system, channel, value)) {
            *error = channelMessage(channel, "Could not set speed value. Error: %1 (%2)", status);
            return false;
        }
        break;
    case nexil::Setting::Acceleration:
        if (const uint32_t status = nexil::writeAcceleration(m_system, channel, value)) {
            *error = channelMessage(channel, "Could not set acceleration value. Error: %1 (%2)",
                                    status);
            return false;
        }
        break;
    case nexil::Setting::LowVibration: {
        const nexil::LowVibrationWrite written
                = nexil::writeLowVibration(m_system, channel, value != 0);
        if (!written.stopped) {
            *error = channelMessage(
                    channel,
                    "Could not set Low Vibration Mode (Axis holding position?). Error: %1 (%2)",
                    written.status);
            return false;
        }
        if (written.status != 0) {
            *error = channelMessage(channel, "Could not set Low Vibration Mode. Error: %1 (%2)",
                                    written.status);
            return false;
        }
        break;
    }
    }
    // The values read here are only traced: the caller reads the whole channel afterwards.
    // No signal check in between: the write and its reads are one step, so the caller always
    // learns that the write was made.
    for (const nexil::Read what : nexil::readsAfterWrite(setting))
        nexil::read(what, m_system, channel);
    return true;
}
