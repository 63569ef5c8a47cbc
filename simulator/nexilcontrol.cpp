// The maker's C interface. Each entry point only names itself and its inputs for the log;
// behaviour lives in Simulator.

#include "nexilcontrol.h"

#include "simulator.h"
#include "statuscodes.h"

using nexilsim::ChannelModel;
using nexilsim::Simulator;

namespace {

Simulator &sim()
{
    return Simulator::instance();
}

std::string arg(uint32_t value)
{
    return std::to_string(value);
}

std::string arg(const char *text)
{
    return text != nullptr ? text : "(null)";
}

std::string arg(const uint32_t *value)
{
    return value != nullptr ? std::to_string(*value) : "(null)";
}

// Nothing may unwind into a C caller.
template<typename F>
uint32_t guarded(F &&f) noexcept
{
    try {
        return f();
    } catch (...) {
        return nexilsim::status::OtherError;
    }
}

template<typename Field>
uint32_t readChannel(const char *function, uint32_t system, uint32_t index, uint32_t *out,
                     Field field) noexcept
{
    return guarded([&] {
        return sim().read(function, {arg(system), arg(index)}, out, [&](uint32_t *value) {
            ChannelModel *ch = nullptr;
            const uint32_t st = sim().channel(system, index, &ch);
            if (st == nexilsim::status::Ok)
                *value = ch->*field;
            return st;
        });
    });
}

} // namespace

extern "C" {

uint32_t TQ_FindSystems(const char *options, char *outBuffer, uint32_t *ioBufferSize)
{
    return guarded([&] {
        return sim().call("TQ_FindSystems", {arg(options), arg(ioBufferSize)},
                          [&] { return sim().findSystems(options, outBuffer, ioBufferSize); });
    });
}

uint32_t TQ_OpenSystem(uint32_t *systemIndex, const char *locator, const char *options)
{
    return guarded([&] {
        return sim().call("TQ_OpenSystem", {arg(locator), arg(options)},
                          [&] { return sim().openSystem(systemIndex, locator, options); });
    });
}

uint32_t TQ_CloseSystem(uint32_t systemIndex)
{
    return guarded([&] {
        return sim().call("TQ_CloseSystem", {arg(systemIndex)},
                          [&] { return sim().closeSystem(systemIndex); });
    });
}

uint32_t TQ_GetNumberOfChannels(uint32_t systemIndex, uint32_t *channels)
{
    return guarded([&] {
        return sim().read("TQ_GetNumberOfChannels", {arg(systemIndex)}, channels,
                          [&](uint32_t *value) { return sim().channelCount(systemIndex, value); });
    });
}

uint32_t TQ_GetChannelType(uint32_t systemIndex, uint32_t channelIndex, uint32_t *type)
{
    return readChannel("TQ_GetChannelType", systemIndex, channelIndex, type, &ChannelModel::type);
}

uint32_t TQ_GetSensorType_S(uint32_t systemIndex, uint32_t channelIndex, uint32_t *type)
{
    return readChannel("TQ_GetSensorType_S", systemIndex, channelIndex, type,
                       &ChannelModel::sensorType);
}

uint32_t TQ_GetClosedLoopMoveSpeed_S(uint32_t systemIndex, uint32_t channelIndex, uint32_t *speed)
{
    return readChannel("TQ_GetClosedLoopMoveSpeed_S", systemIndex, channelIndex, speed,
                       &ChannelModel::speed);
}

uint32_t TQ_GetClosedLoopMoveAcceleration_S(uint32_t systemIndex, uint32_t channelIndex,
                                            uint32_t *acceleration)
{
    return readChannel("TQ_GetClosedLoopMoveAcceleration_S", systemIndex, channelIndex,
                       acceleration, &ChannelModel::acceleration);
}

uint32_t TQ_SetClosedLoopMoveSpeed_S(uint32_t systemIndex, uint32_t channelIndex, uint32_t speed)
{
    return guarded([&] {
        return sim().call("TQ_SetClosedLoopMoveSpeed_S",
                          {arg(systemIndex), arg(channelIndex), arg(speed)},
                          [&] { return sim().setSpeed(systemIndex, channelIndex, speed); });
    });
}

uint32_t TQ_SetClosedLoopMoveAcceleration_S(uint32_t systemIndex, uint32_t channelIndex,
                                            uint32_t acceleration)
{
    return guarded([&] {
        return sim().call("TQ_SetClosedLoopMoveAcceleration_S",
                          {arg(systemIndex), arg(channelIndex), arg(acceleration)}, [&] {
                              return sim().setAcceleration(systemIndex, channelIndex, acceleration);
                          });
    });
}

uint32_t TQ_EPK(uint32_t selector, uint32_t subSelector, uint32_t property)
{
    return guarded([&] {
        return sim().call("TQ_EPK", {arg(selector), arg(subSelector), arg(property)},
                          [&] { return nexilsim::propertyKey(selector, subSelector, property); });
    });
}

uint32_t TQ_GetChannelProperty_S(uint32_t systemIndex, uint32_t channelIndex, uint32_t key,
                                 uint32_t *value)
{
    return guarded([&] {
        return sim().read(
                "TQ_GetChannelProperty_S", {arg(systemIndex), arg(channelIndex), arg(key)}, value,
                [&](uint32_t *out) { return sim().property(systemIndex, channelIndex, key, out); });
    });
}

uint32_t TQ_SetChannelProperty_S(uint32_t systemIndex, uint32_t channelIndex, uint32_t key,
                                 uint32_t value)
{
    return guarded([&] {
        return sim().call("TQ_SetChannelProperty_S",
                          {arg(systemIndex), arg(channelIndex), arg(key), arg(value)},
                          [&] { return sim().setProperty(systemIndex, channelIndex, key, value); });
    });
}

uint32_t TQ_Stop_S(uint32_t systemIndex, uint32_t channelIndex)
{
    return guarded([&] {
        return sim().call("TQ_Stop_S", {arg(systemIndex), arg(channelIndex)},
                          [&] { return sim().stop(systemIndex, channelIndex); });
    });
}

uint32_t TQ_GetStatusInfo(uint32_t status, const char **info)
{
    return guarded([&] {
        return sim().call("TQ_GetStatusInfo", {arg(status)},
                          [&] { return sim().statusInfo(status, info); });
    });
}

} // extern "C"
