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
                    std::lock_guard<std::mutex> lock(mutex_);
                    hook = valueHook_;
                }
                if (hook)
                    hook(function, &value);
                *out = value;
            });
}

uint32_t Simulator::run(const char *function, std::vector<std::string> args, const Action &action,
                        const std::function<void()> &afterSuccess)
{
    std::unique_lock<std::mutex> lock(mutex_);
    uint32_t result = status::OtherError;
    try {
        ensureLoaded();
        const uint32_t latency = fleet_.latencyMicroseconds;
        std::optional<uint32_t> fault = takeQueuedFault(function);
        const FaultHook hook = faultHook_;
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
            const bool answers = std::strcmp(function, "TQ_GetStatusInfo") == 0
                    || std::strcmp(function, "TQ_EPK") == 0
                    || (std::strcmp(function, "TQ_FindSystems") == 0 && discoveryOverride_);
            result = configError_ != nullptr && !answers ? status::ConfigurationError : action();
            lock.unlock();
            if (result == status::Ok && afterSuccess)
                afterSuccess();
        }
    } catch (...) {
        result = status::OtherError;
    }

    if (!lock.owns_lock())
        lock.lock();
    if (log_.size() >= maxLogEntries)
        log_.pop_front();
    log_.push_back(Call{function, std::move(args), result});
    return result;
}

void Simulator::ensureLoaded()
{
    if (loaded_)
        return;
    loaded_ = true;
    const char *path = std::getenv("NEXILCONTROL_SIM_CONFIG");
    if (path == nullptr || *path == '\0') {
        install(defaultFleetJson, "the built-in fleet");
        applyState();
        return;
    }
    Fleet fleet;
    std::string error;
    if (readFleetFile(path, &fleet, &error)) {
        fleet_ = std::move(fleet);
        applyState();
        return;
    }
    fleet_ = Fleet();
    configError_ = keep("Configuration file '" + std::string(path) + "' is unusable: " + error);
    std::fprintf(stderr, "NexilControl simulator: %s\n", configError_);
}

void Simulator::install(const std::string &json, const std::string &origin)
{
    open_.clear();
    configError_ = nullptr;
    Fleet fleet;
    std::string error;
    if (parseFleet(json, &fleet, &error)) {
        fleet_ = std::move(fleet);
    } else {
        fleet_ = Fleet();
        configError_ = keep("Configuration from " + origin + " is unusable: " + error);
    }
}

void Simulator::clearFaultsLocked()
{
    queuedFaults_.clear();
    faultHook_ = nullptr;
    valueHook_ = nullptr;
    nullStatusInfo_ = false;
    textOverrides_.clear();
    discoveryOverride_ = false;
    discoveryBytes_.clear();
}

std::optional<uint32_t> Simulator::takeQueuedFault(const std::string &function)
{
    const auto it = queuedFaults_.find(function);
    if (it == queuedFaults_.end() || it->second.empty())
        return std::nullopt;
    auto &front = it->second.front();
    const uint32_t fault = front.first;
    if (--front.second <= 0)
        it->second.pop_front();
    return fault;
}

SystemModel *Simulator::systemFor(uint32_t handle)
{
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &fleet_.systems[it->second];
}

const char *Simulator::keep(std::string text)
{
    texts_.push_back(std::move(text));
    return texts_.back().c_str();
}

uint32_t Simulator::findSystems(const char *options, char *buffer, uint32_t *ioSize)
{
    if (options == nullptr || buffer == nullptr || ioSize == nullptr)
        return status::InvalidParameter;
    if (discoveryOverride_) {
        const auto size
                = static_cast<uint32_t>(std::min<std::size_t>(discoveryBytes_.size(), *ioSize));
        std::memcpy(buffer, discoveryBytes_.data(), size);
        *ioSize = size;
        return status::Ok;
    }
    if (configError_ != nullptr)
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
    for (const SystemModel &system : fleet_.systems) {
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
    const auto system = std::find_if(fleet_.systems.begin(), fleet_.systems.end(),
                                     [&](const SystemModel &s) { return s.locator == locator; });
    if (system == fleet_.systems.end())
        return status::UnknownLocator;
    const auto index = static_cast<std::size_t>(system - fleet_.systems.begin());
    for (const auto &entry : open_) {
        if (entry.second == index) {
            heldText_ = nullptr;
            return status::AlreadyOpen;
        }
    }
    if (const uint32_t refused = holdAcrossProcesses(index))
        return refused;
    // Handles are never reused so a stale one is always caught.
    *handle = nextHandle_++;
    open_[*handle] = index;
    return status::Ok;
}

uint32_t Simulator::closeSystem(uint32_t handle)
{
    const auto it = open_.find(handle);
    if (it == open_.end())
        return status::InvalidSystemIndex;
    releaseAcrossProcesses(it->second);
    open_.erase(it);
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
    const auto override = textOverrides_.find(code);
    if (override != textOverrides_.end())
        text = override->second;
    else if (code == status::AlreadyOpen && heldText_ != nullptr)
        text = heldText_;
    else if (code == status::ConfigurationError && stateError_ != nullptr)
        text = stateError_;
    else if (code == status::ConfigurationError && configError_ != nullptr)
        text = configError_;
    else
        text = status::builtinText(code);
    *info = nullStatusInfo_ ? nullptr : text;
    return text != nullptr ? status::Ok : status::InvalidParameter;
}

uint32_t Simulator::loadFleet(const std::string &json)
{
    std::lock_guard<std::mutex> lock(mutex_);
    loaded_ = true;
    clearFaultsLocked();
    log_.clear();
    install(json, "loadFleet()");
    return configError_ != nullptr ? status::ConfigurationError : status::Ok;
}

void Simulator::loadDefaultFleet()
{
    loadFleet(defaultFleetJson);
}

void Simulator::setLatency(uint32_t us)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ensureLoaded();
    fleet_.latencyMicroseconds = std::min(us, maxLatencyMicroseconds);
}

void Simulator::failNext(const std::string &function, uint32_t code, int count)
{
    if (count <= 0)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    queuedFaults_[function].emplace_back(code, count);
}

void Simulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    clearFaultsLocked();
}

void Simulator::setNullStatusInfo(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    nullStatusInfo_ = on;
}

void Simulator::setStatusText(uint32_t code, const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    textOverrides_[code] = keep(text);
}

void Simulator::setDiscoveryOverride(const std::string &bytes, bool active)
{
    std::lock_guard<std::mutex> lock(mutex_);
    discoveryBytes_ = bytes;
    discoveryOverride_ = active;
}

void Simulator::setFaultHook(FaultHook hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faultHook_ = std::move(hook);
}

void Simulator::setValueHook(ValueHook hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    valueHook_ = std::move(hook);
}

std::vector<Call> Simulator::callLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return {log_.begin(), log_.end()};
}

void Simulator::clearCallLog()
{
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
}

bool Simulator::channelState(const std::string &locator, uint32_t index, ChannelState *out)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ensureLoaded();
    for (const SystemModel &system : fleet_.systems) {
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
    std::lock_guard<std::mutex> lock(mutex_);
    ensureLoaded();
    std::vector<std::string> result;
    for (const SystemModel &system : fleet_.systems)
        result.push_back(system.locator);
    return result;
}

} // namespace nexilsim
