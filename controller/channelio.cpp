#include "channelio.h"

#include "nexillibrary.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace nexil {

namespace {

const QChar micro(0x00B5);
const QChar degree(0x00B0);
const QChar squared(0x00B2);

} // namespace

uint32_t findSystems(QStringList *locators)
{
    locators->clear();
    // Zeroed, so a short answer without its NUL ends there instead of running into stale
    // stack bytes.
    char buffer[4096] = {};
    uint32_t size = sizeof buffer;
    const uint32_t status = TQ_FindSystems("interface usb", buffer, &size);
    if (status != 0)
        return status;
    // The library need not terminate a full buffer.
    const auto length = int(strnlen(buffer, sizeof buffer));
    *locators = QString::fromUtf8(buffer, length).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return status;
}

const std::vector<Read> &fullReadBack()
{
    static const std::vector<Read> reads = {Read::ChannelType, Read::SensorType, Read::Speed,
                                            Read::Acceleration, Read::LowVibration};
    return reads;
}

namespace {

Reading readWith(uint32_t (*get)(uint32_t, uint32_t, uint32_t *), uint32_t system, uint32_t channel)
{
    Reading r;
    r.status = get(system, channel, &r.value);
    return r;
}

} // namespace

Reading readChannelType(uint32_t system, uint32_t channel)
{
    return readWith(TQ_GetChannelType, system, channel);
}

Reading readSensorType(uint32_t system, uint32_t channel)
{
    return readWith(TQ_GetSensorType_S, system, channel);
}

Reading readSpeed(uint32_t system, uint32_t channel)
{
    return readWith(TQ_GetClosedLoopMoveSpeed_S, system, channel);
}

Reading readAcceleration(uint32_t system, uint32_t channel)
{
    return readWith(TQ_GetClosedLoopMoveAcceleration_S, system, channel);
}

Reading readLowVibration(uint32_t system, uint32_t channel)
{
    const uint32_t key = lowVibrationKey();
    Reading r;
    r.status = TQ_GetChannelProperty_S(system, channel, key, &r.value);
    return r;
}

Reading read(Read what, uint32_t system, uint32_t channel)
{
    switch (what) {
    case Read::ChannelType:
        return readChannelType(system, channel);
    case Read::SensorType:
        return readSensorType(system, channel);
    case Read::Speed:
        return readSpeed(system, channel);
    case Read::Acceleration:
        return readAcceleration(system, channel);
    case Read::LowVibration:
        return readLowVibration(system, channel);
    }
    return {};
}

const std::vector<Read> &readsAfterWrite(Setting setting)
{
    static const std::vector<Read> afterSpeed = {Read::Acceleration, Read::LowVibration};
    static const std::vector<Read> afterAcceleration = {Read::LowVibration};
    static const std::vector<Read> afterLowVibration = {Read::Speed, Read::Acceleration};
    switch (setting) {
    case Setting::Speed:
        return afterSpeed;
    case Setting::Acceleration:
        return afterAcceleration;
    case Setting::LowVibration:
        break;
    }
    return afterLowVibration;
}

uint32_t writeSpeed(uint32_t system, uint32_t channel, uint32_t speed)
{
    return TQ_SetClosedLoopMoveSpeed_S(system, channel, speed);
}

uint32_t writeAcceleration(uint32_t system, uint32_t channel, uint32_t acceleration)
{
    return TQ_SetClosedLoopMoveAcceleration_S(system, channel, acceleration);
}

LowVibrationWrite writeLowVibration(uint32_t system, uint32_t channel, bool on)
{
    LowVibrationWrite result;
    result.status = TQ_Stop_S(system, channel);
    if (result.status != 0)
        return result;
    result.stopped = true;
    const uint32_t key = lowVibrationKey();
    result.status = TQ_SetChannelProperty_S(system, channel, key, on ? 1 : 0);
    return result;
}

bool isLinearSensor(uint32_t sensorType)
{
    static const uint32_t linear[] = {1, 5, 6, 9, 18, 21, 24, 32, 35, 38, 40, 41, 42, 43, 44};
    return std::find(std::begin(linear), std::end(linear), sensorType) != std::end(linear);
}

QString speedUnit(uint32_t sensorType)
{
    if (isLinearSensor(sensorType))
        return QStringLiteral("nm/sec");
    return QString(micro) + degree + QLatin1String("/sec");
}

QString accelerationUnit(uint32_t sensorType)
{
    if (isLinearSensor(sensorType))
        return QString(micro) + QLatin1String("m/sec") + squared;
    return QLatin1String("m") + degree + QLatin1String("/sec") + squared;
}

QString speedLabel(uint32_t sensorType)
{
    return QLatin1String("Speed [") + speedUnit(sensorType) + QLatin1String("]:");
}

QString accelerationLabel(uint32_t sensorType)
{
    return QLatin1String("Acceleration [") + accelerationUnit(sensorType) + QLatin1String("]:");
}

} // namespace nexil
