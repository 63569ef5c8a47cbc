#include "simulator.h"

#include "statuscodes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace nexilsim {

namespace {

constexpr std::size_t maxLogEntries = 100000;

void waitMicroseconds(uint32_t us)
{
    if (us == 0)
        return;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::microseconds(us);
    // Sleeps overshoot by tens of microseconds, so only sleep through the bulk of long waits
    // and spin the rest.
    constexpr auto spinWindow = std::chrono::milliseconds(2);
    const auto remaining = deadline - Clock::now();
    if (remaining > spinWindow)
        std::this_thread::sleep_for(remaining - spinWindow);
    while (Clock::now() < deadline) { }
}

} // namespace

Simulator &Simulator::instance()
{
    // Never destroyed: the application may still close systems from its own static
    // destructors.
    static Simulator *simulator = new Simulator;
    return *simulator;
}

uint32_t Simulator::call(const char *function, std::vector<std::string> args, const Action &action)
{
    return run(function, std::move(args), action, {});
}

uint32_t Simulator::read(const char *function, std::vector<std::string> args, uint32_t *out,
                         const Reader &reader)
{
    uint32_t value = 0;
    return run(
            function, std::move(args),
            [&] { return out != nullptr ? reader(&value) : status::InvalidParameter; },
            [&] {
                ValueHook hook;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    hook = m_valueHook;
                }
                if (hook)
                    hook(function, &value);
                *out = value;
            });
}

uint32_t Simulator::run(const char *function, std::vector<std::string> args, const Action &action,
                        const std::function<void()> &afterSuccess)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    uint32_t result = status::OtherError;
    try {
        // The key and the status texts answer without the fleet, so never wait for it.
        const bool answersAlone = std::strcmp(function, "TQ_GetStatusInfo") == 0
                || std::strcmp(function, "TQ_EPK") == 0;
        result = ensureLoaded(!answersAlone);
        if (result == status::Ok) {
            const uint32_t latency = m_fleet.latencyMicroseconds;
            std::optional<uint32_t> fault = takeQueuedFault(function);
            const FaultHook hook = m_faultHook;
            // Hooks run unlocked so they may call back into the library.
            lock.unlock();

            waitMicroseconds(latency);
            if (!fault && hook) {
                if (const uint32_t hooked = hook(function))
                    fault = hooked;
            }
            if (fault) {
                result = *fault;
            } else {
                lock.lock();
                // While the configuration is unusable, every call says so (the key and the status
                // texts excepted), so whoever calls first learns why.
                const bool answers = answersAlone
                        || (std::strcmp(function, "TQ_FindSystems") == 0 && m_discoveryOverride);
                result = m_configError != nullptr && !answers ? status::ConfigurationError
                                                              : action();
                lock.unlock();
                if (result == status::Ok && afterSuccess)
                    afterSuccess();
            }
        }
    } catch (...) {
        result = status::OtherError;
    }

    if (!lock.owns_lock())
        lock.lock();
    if (m_log.size() >= maxLogEntries)
        m_log.pop_front();
    m_log.push_back(Call{function, std::move(args), result});
    return result;
}

uint32_t Simulator::ensureLoaded(bool mayWait)
{
    if (!m_loaded) {
        m_loaded = true;
        const char *path = std::getenv("NEXILCONTROL_SIM_CONFIG");
        Fleet fleet;
        std::string error;
        if (path == nullptr || *path == '\0') {
            install(defaultFleetJson, "the built-in fleet");
            m_statePending = true;
        } else if (readFleetFile(path, &fleet, &error)) {
            m_fleet = std::move(fleet);
            m_statePending = true;
        } else {
            m_fleet = Fleet();
            m_configError
                    = keep("Configuration file '" + std::string(path) + "' is unusable: " + error);
            report(m_configError);
        }
    }
    return m_statePending && mayWait ? applyState() : status::Ok;
}

void Simulator::install(const std::string &json, const std::string &origin)
{
    m_open.clear();
    m_configError = nullptr;
    Fleet fleet;
    std::string error;
    if (parseFleet(json, &fleet, &error)) {
        m_fleet = std::move(fleet);
    } else {
        m_fleet = Fleet();
        m_configError = keep("Configuration from " + origin + " is unusable: " + error);
    }
}

void Simulator::clearFaultsLocked()
{
    m_queuedFaults.clear();
    m_faultHook = nullptr;
    m_valueHook = nullptr;
    m_nullStatusInfo = false;
    m_textOverrides.clear();
    m_discoveryOverride = false;
    m_discoveryBytes.clear();
}

std::optional<uint32_t> Simulator::takeQueuedFault(const std::string &function)
{
    const auto it = m_queuedFaults.find(function);
    if (it == m_queuedFaults.end() || it->second.empty())
        return std::nullopt;
    auto &front = it->second.front();
    const uint32_t fault = front.first;
    if (--front.second <= 0)
        it->second.pop_front();
    return fault;
}

SystemModel *Simulator::systemFor(uint32_t handle)
{
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : &m_fleet.systems[it->second];
}

void Simulator::report(const char *text)
{
    std::string line = "NexilControl simulator: ";
    for (const char *c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7f) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", byte);
            line += code;
        } else {
            line += *c;
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

const char *Simulator::keep(std::string text)
{
    m_texts.push_back(std::move(text));
    return m_texts.back().c_str();
}

uint32_t Simulator::findSystems(const char *options, char *buffer, uint32_t *ioSize)
{
    if (options == nullptr || buffer == nullptr || ioSize == nullptr)
        return status::InvalidParameter;
    if (m_discoveryOverride) {
        const auto size
                = static_cast<uint32_t>(std::min<std::size_t>(m_discoveryBytes.size(), *ioSize));
        std::memcpy(buffer, m_discoveryBytes.data(), size);
        *ioSize = size;
        return status::Ok;
    }
    if (m_configError != nullptr)
        return status::ConfigurationError;

    const std::string wanted = options;
    std::string prefix;
    if (wanted == "interface usb")
        prefix = "usb:";
    else if (wanted == "interface network")
        prefix = "network:";
    else if (!wanted.empty())
        return status::WrongOptions;

    std::string found;
    for (const SystemModel &system : m_fleet.systems) {
        if (!system.listed || system.locator.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (!found.empty())
            found += '\n';
        found += system.locator;
    }
    const std::size_t needed = found.size() + 1;
    if (needed > *ioSize) {
        *ioSize = static_cast<uint32_t>(needed);
        return status::BufferTooSmall;
    }
    std::memcpy(buffer, found.c_str(), needed);
    *ioSize = static_cast<uint32_t>(needed);
    return status::Ok;
}

uint32_t Simulator::openSystem(uint32_t *handle, const char *locator, const char *options)
{
    if (handle == nullptr || locator == nullptr || options == nullptr)
        return status::InvalidParameter;
    if (std::strcmp(options, "") != 0 && std::strcmp(options, "sync") != 0)
        return status::WrongOptions;
    const auto system = std::find_if(m_fleet.systems.begin(), m_fleet.systems.end(),
                                     [&](const SystemModel &s) { return s.locator == locator; });
    if (system == m_fleet.systems.end())
        return status::UnknownLocator;
    const auto index = static_cast<std::size_t>(system - m_fleet.systems.begin());
    for (const auto &entry : m_open) {
        if (entry.second == index) {
            m_heldText = nullptr;
            return status::AlreadyOpen;
        }
    }
    if (const uint32_t refused = holdAcrossProcesses(index))
        return refused;
    // Handles are never reused so a stale one is always caught.
    *handle = m_nextHandle++;
    m_open[*handle] = index;
    return status::Ok;
}

uint32_t Simulator::closeSystem(uint32_t handle)
{
    const auto it = m_open.find(handle);
    if (it == m_open.end())
        return status::InvalidSystemIndex;
    releaseAcrossProcesses(it->second);
    m_open.erase(it);
    return status::Ok;
}

uint32_t Simulator::channelCount(uint32_t handle, uint32_t *count)
{
    const SystemModel *system = systemFor(handle);
    if (system == nullptr)
        return status::InvalidSystemIndex;
    *count = static_cast<uint32_t>(system->channels.size());
    return status::Ok;
}

uint32_t Simulator::channel(uint32_t handle, uint32_t index, ChannelModel **out)
{
    SystemModel *system = systemFor(handle);
    if (system == nullptr)
        return status::InvalidSystemIndex;
    if (index >= system->channels.size())
        return status::InvalidChannelIndex;
    *out = &system->channels[index];
    return status::Ok;
}

uint32_t Simulator::setSpeed(uint32_t handle, uint32_t index, uint32_t speed)
{
    return setInRange(handle, index, speed, &ChannelModel::speed, &ChannelModel::speedMin,
                      &ChannelModel::speedMax);
}

uint32_t Simulator::setAcceleration(uint32_t handle, uint32_t index, uint32_t acceleration)
{
    return setInRange(handle, index, acceleration, &ChannelModel::acceleration,
                      &ChannelModel::accelerationMin, &ChannelModel::accelerationMax);
}

uint32_t Simulator::setInRange(uint32_t handle, uint32_t index, uint32_t value,
                               uint32_t ChannelModel::*field, uint32_t ChannelModel::*min,
                               uint32_t ChannelModel::*max)
{
    ChannelModel *ch = nullptr;
    if (const uint32_t st = channel(handle, index, &ch))
        return st;
    if (value < ch->*min || value > ch->*max)
        return status::ValueOutOfRange;
    const uint32_t before = ch->*field;
    ch->*field = value;
    if (const uint32_t unsaved = persist(handle)) {
        ch->*field = before;
        return unsaved;
    }
    return status::Ok;
}

uint32_t Simulator::lowVibrationChannel(uint32_t handle, uint32_t index, uint32_t key,
                                        ChannelModel **out)
{
    if (const uint32_t st = channel(handle, index, out))
        return st;
    if (key != lowVibrationKey)
        return status::InvalidParameter;
    return (*out)->lowVibration < 0 ? status::PropertyNotSupported : status::Ok;
}

uint32_t Simulator::property(uint32_t handle, uint32_t index, uint32_t key, uint32_t *value)
{
    ChannelModel *ch = nullptr;
    if (const uint32_t st = lowVibrationChannel(handle, index, key, &ch))
        return st;
    *value = static_cast<uint32_t>(ch->lowVibration);
    return status::Ok;
}

uint32_t Simulator::setProperty(uint32_t handle, uint32_t index, uint32_t key, uint32_t value)
{
    ChannelModel *ch = nullptr;
    if (const uint32_t st = lowVibrationChannel(handle, index, key, &ch))
        return st;
    if (value > 1)
        return status::ValueOutOfRange;
    const int before = ch->lowVibration;
    ch->lowVibration = static_cast<int>(value);
    if (const uint32_t unsaved = persist(handle)) {
        ch->lowVibration = before;
        return unsaved;
    }
    return status::Ok;
}

uint32_t Simulator::stop(uint32_t handle, uint32_t index)
{
    ChannelModel *ch = nullptr;
    if (const uint32_t st = channel(handle, index, &ch))
        return st;
    return ch->holding ? status::HoldingPosition : status::Ok;
}

uint32_t Simulator::statusInfo(uint32_t code, const char **info)
{
    if (info == nullptr)
        return status::InvalidParameter;
    const char *text = nullptr;
    const auto override = m_textOverrides.find(code);
    if (override != m_textOverrides.end())
        text = override->second;
    else if (code == status::AlreadyOpen && m_heldText != nullptr)
        text = m_heldText;
    else if (code == status::ConfigurationError && m_stateError != nullptr)
        text = m_stateError;
    else if (code == status::ConfigurationError && m_configError != nullptr)
        text = m_configError;
    else
        text = status::builtinText(code);
    *info = m_nullStatusInfo ? nullptr : text;
    return text != nullptr ? status::Ok : status::InvalidParameter;
}

uint32_t Simulator::loadFleet(const std::string &json)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_loaded = true;
    m_statePending = false;
    clearFaultsLocked();
    m_log.clear();
    install(json, "loadFleet()");
    return m_configError != nullptr ? status::ConfigurationError : status::Ok;
}

void Simulator::loadDefaultFleet()
{
    loadFleet(defaultFleetJson);
}

void Simulator::setLatency(uint32_t us)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureLoaded();
    m_fleet.latencyMicroseconds = std::min(us, maxLatencyMicroseconds);
}

void Simulator::failNext(const std::string &function, uint32_t code, int count)
{
    if (count <= 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queuedFaults[function].emplace_back(code, count);
}

void Simulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    clearFaultsLocked();
}

void Simulator::setNullStatusInfo(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nullStatusInfo = on;
}

void Simulator::setStatusText(uint32_t code, const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_textOverrides[code] = keep(text);
}

void Simulator::setDiscoveryOverride(const std::string &bytes, bool active)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_discoveryBytes = bytes;
    m_discoveryOverride = active;
}

void Simulator::setFaultHook(FaultHook hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faultHook = std::move(hook);
}

void Simulator::setValueHook(ValueHook hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_valueHook = std::move(hook);
}

std::vector<Call> Simulator::callLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_log.begin(), m_log.end()};
}

void Simulator::clearCallLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

bool Simulator::channelState(const std::string &locator, uint32_t index, ChannelState *out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureLoaded();
    for (const SystemModel &system : m_fleet.systems) {
        if (system.locator != locator)
            continue;
        if (out == nullptr || index >= system.channels.size())
            return false;
        const ChannelModel &ch = system.channels[index];
        *out = {ch.type, ch.sensorType, ch.speed, ch.acceleration, ch.lowVibration, ch.holding};
        return true;
    }
    return false;
}

std::vector<std::string> Simulator::locators()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ensureLoaded();
    std::vector<std::string> result;
    for (const SystemModel &system : m_fleet.systems)
        result.push_back(system.locator);
    return result;
}

} // namespace nexilsim
