#ifndef NEXILSIM_SIMULATOR_H
#define NEXILSIM_SIMULATOR_H

#include "simcontrol.h"
#include "statefile.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace nexilsim {

struct ChannelModel
{
    uint32_t type = 0;
    uint32_t sensorType = 1;
    uint32_t speed = 1000000;
    uint32_t speedMin = 0;
    uint32_t speedMax = 100000000;
    uint32_t acceleration = 100000;
    uint32_t accelerationMin = 0;
    uint32_t accelerationMax = 10000000;
    int lowVibration = 0; // -1 unsupported, 0 off, 1 on
    bool holding = false;
};

struct SystemModel
{
    std::string locator;
    bool listed = true;
    std::vector<ChannelModel> channels;
};

struct Fleet
{
    uint32_t latencyMicroseconds = 0;
    std::vector<SystemModel> systems;
};

// Longest delay a configuration or setLatencyMicroseconds() may give every call: one second.
constexpr uint32_t maxLatencyMicroseconds = 1000000;

// fleetconfig.cpp. On failure *error says why and *fleet is left alone.
bool parseFleet(const std::string &json, Fleet *fleet, std::string *error);
bool readFleetFile(const std::string &path, Fleet *fleet, std::string *error);

// defaultfleet.cpp
extern const char *const defaultFleetJson;

constexpr uint32_t propertyKey(uint32_t selector, uint32_t subSelector, uint32_t property)
{
    return (selector & 0xFFu) << 24 | (subSelector & 0xFFu) << 16 | (property & 0xFFFFu);
}
constexpr uint32_t lowVibrationKey = propertyKey(1, 2, 1);

class Simulator
{
public:
    static Simulator &instance();

    using Action = std::function<uint32_t()>;
    using Reader = std::function<uint32_t(uint32_t *value)>;

    // Every entry point runs through one of these, which add latency, injected faults and
    // the log entry. `action`/`reader` run with the state locked and use the model calls.
    uint32_t call(const char *function, std::vector<std::string> args, const Action &action);
    uint32_t read(const char *function, std::vector<std::string> args, uint32_t *out,
                  const Reader &reader);

    // Model; lock held by the caller.
    uint32_t findSystems(const char *options, char *buffer, uint32_t *ioSize);
    uint32_t openSystem(uint32_t *handle, const char *locator, const char *options);
    uint32_t closeSystem(uint32_t handle);
    uint32_t channelCount(uint32_t handle, uint32_t *count);
    uint32_t channel(uint32_t handle, uint32_t index, ChannelModel **out);
    uint32_t lowVibrationChannel(uint32_t handle, uint32_t index, uint32_t key, ChannelModel **out);
    uint32_t setInRange(uint32_t handle, uint32_t index, uint32_t value,
                        uint32_t ChannelModel::*field, uint32_t ChannelModel::*min,
                        uint32_t ChannelModel::*max);
    uint32_t setSpeed(uint32_t handle, uint32_t index, uint32_t speed);
    uint32_t setAcceleration(uint32_t handle, uint32_t index, uint32_t acceleration);
    uint32_t property(uint32_t handle, uint32_t index, uint32_t key, uint32_t *value);
    uint32_t setProperty(uint32_t handle, uint32_t index, uint32_t key, uint32_t value);
    uint32_t stop(uint32_t handle, uint32_t index);
    uint32_t statusInfo(uint32_t status, const char **info);

    // simcontrol.h; these lock themselves.
    uint32_t loadFleet(const std::string &json);
    void loadDefaultFleet();
    void setLatency(uint32_t us);
    void failNext(const std::string &function, uint32_t status, int count);
    void clearFaults();
    void setNullStatusInfo(bool on);
    void setStatusText(uint32_t status, const std::string &text);
    void setDiscoveryOverride(const std::string &bytes, bool active);
    void setFaultHook(FaultHook hook);
    void setValueHook(ValueHook hook);
    std::vector<Call> callLog();
    void clearCallLog();
    bool channelState(const std::string &locator, uint32_t channel, ChannelState *out);
    std::vector<std::string> locators();

private:
    Simulator() = default;

    uint32_t run(const char *function, std::vector<std::string> args, const Action &action,
                 const std::function<void()> &afterSuccess);
    // Loads the fleet on first use, and its saved state once the state file's lock is free:
    // 0, or AlreadyOpen while another program holds that lock. Without `mayWait`, a state
    // still pending is left for a later call.
    uint32_t ensureLoaded(bool mayWait = true);
    void install(const std::string &json, const std::string &origin);
    void clearFaultsLocked();
    std::optional<uint32_t> takeQueuedFault(const std::string &function);
    SystemModel *systemFor(uint32_t handle);
    const char *keep(std::string text);
    // One line on stderr, control characters of the paths it quotes written out.
    static void report(const char *text);
    // statefile.cpp: the settings kept across processes and the holds between them.
    uint32_t applyState();
    uint32_t holdAcrossProcesses(std::size_t index);
    uint32_t stateFailure(uint32_t code, const std::string &message);
    void releaseAcrossProcesses(std::size_t index);
    uint32_t persist(uint32_t handle);

    std::mutex m_mutex;
    bool m_loaded = false;
    bool m_statePending = false; // the fleet is loaded but not its saved state yet
    Fleet m_fleet;
    std::map<uint32_t, std::size_t> m_open; // handle -> index into m_fleet.systems
    uint32_t m_nextHandle = 1;
    const char *m_configError = nullptr; // set while the fleet is unusable
    StateStore m_state;
    const char *m_heldText = nullptr;   // why the last open was refused across processes
    const char *m_stateError = nullptr; // why the state file could not be used last

    // Callers may hold on to status texts like they can with the real library's static
    // strings, so nothing handed out is ever freed.
    std::deque<std::string> m_texts;
    std::map<uint32_t, const char *> m_textOverrides;

    std::map<std::string, std::deque<std::pair<uint32_t, int>>> m_queuedFaults;
    FaultHook m_faultHook;
    ValueHook m_valueHook;
    bool m_nullStatusInfo = false;
    bool m_discoveryOverride = false;
    std::string m_discoveryBytes;

    std::deque<Call> m_log;
};

} // namespace nexilsim

#endif // NEXILSIM_SIMULATOR_H
