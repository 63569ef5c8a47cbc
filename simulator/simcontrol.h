#ifndef NEXILSIM_SIMCONTROL_H
#define NEXILSIM_SIMCONTROL_H

// Control over the simulator for tests. Not part of the maker's interface: code that must
// also run against the real library may only use controller/nexilcontrol.h.

#include "nexilcontrol.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nexilsim {

struct NEXILCONTROL_API Call
{
    std::string function;
    std::vector<std::string> args; // input arguments only, strings raw
    uint32_t result;
    // "TQ_SetClosedLoopMoveSpeed_S(1,0,5000)=0"
    std::string text() const;
};

struct ChannelState
{
    uint32_t type, sensorType, speed, acceleration;
    int lowVibration; // -1 unsupported, 0 off, 1 on
    bool holding;
};

// Replaces the fleet, closes every system and clears the log and everything injected below
// (faults, hooks, status texts, discovery override). Returns 0 or the configuration-error
// status, in which case the fleet is empty just as with a bad configuration file.
NEXILCONTROL_API uint32_t loadFleet(const std::string &json);
NEXILCONTROL_API void loadDefaultFleet();
// Capped at one second, like the configuration's latencyMicroseconds.
NEXILCONTROL_API void setLatencyMicroseconds(uint32_t us);

// The next `count` calls of `function` return `status` without doing anything; output
// arguments stay untouched. Queued faults are used in the order given.
NEXILCONTROL_API void failNext(const std::string &function, uint32_t status, int count = 1);
// Drops queued faults, both hooks, null status info, status text overrides and the discovery
// override. Fleet, open systems and log stay.
NEXILCONTROL_API void clearFaults();
NEXILCONTROL_API void setNullStatusInfo(bool on);
// Texts handed out earlier stay valid after an override.
NEXILCONTROL_API void setStatusText(uint32_t status, const std::string &text);
// TQ_FindSystems copies these bytes (at most the buffer size, no NUL added), writes the
// number copied to *ioBufferSize and returns 0.
NEXILCONTROL_API void setDiscoveryOverride(const std::string &rawBytes, bool overrideActive);

using FaultHook = std::function<uint32_t(const std::string &function)>; // non-zero fails the call
NEXILCONTROL_API void setFaultHook(FaultHook hook);
// Asked after every successful getter; may replace the value (return true when it did).
using ValueHook = std::function<bool(const std::string &function, uint32_t *value)>;
NEXILCONTROL_API void setValueHook(ValueHook hook);

// Holds the most recent 100000 calls.
NEXILCONTROL_API std::vector<Call> callLog();
NEXILCONTROL_API std::vector<std::string> callLogText();
NEXILCONTROL_API void clearCallLog();

NEXILCONTROL_API bool channelState(const std::string &locator, uint32_t channel, ChannelState *out);
NEXILCONTROL_API std::vector<std::string> locators(); // all systems, listed or not

} // namespace nexilsim

#endif // NEXILSIM_SIMCONTROL_H
