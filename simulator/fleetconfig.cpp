// Fleet configuration, read from the file named by NEXILCONTROL_SIM_CONFIG (the built-in
// fleet in defaultfleet.cpp uses the same format):
//
// {
//   "latencyMicroseconds": 0,          // optional, at most 1000000; every call waits this long
//   "systems": [{
//     "locator": "usb:id:1001",        // required, unique
//     "listed": true,                  // optional; false hides it from discovery only
//     "channels": [{                   // optional; every field below is optional
//       "type": 0,                     // 0 positioner, anything else is not one
//       "sensorType": 1,
//       "speed": 1000000,              // nm/s (µ°/s on rotary channels)
//       "speedRange": [0, 100000000],
//       "acceleration": 100000,
//       "accelerationRange": [0, 10000000],
//       "lowVibration": "off",         // "on", "off" or "unsupported"
//       "holding": false               // stopping fails while holding position
//     }]
//   }]
// }
//
// Omitted fields take the values shown; an omitted speed or acceleration is clamped into its
// range. Numbers are whole and unsigned 32-bit. Unknown keys are rejected so that a typo does
// not silently fall back to a default. The file must be a regular file of at most 4 MiB, and
// values nest at most 32 deep; error texts quote at most a short excerpt of a value.

#include "jsondepth.h"
#include "simulator.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <set>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nexilsim {

namespace {

using nlohmann::json;

constexpr std::size_t maxFileBytes = std::size_t(4) * 1024 * 1024;
constexpr int maxDepth = 32;
constexpr std::size_t maxExcerpt = 40;

// A short, bounded description of a value for an error text: never the whole of a long string
// or a deep array.
std::string excerpt(const json &value)
{
    switch (value.type()) {
    case json::value_t::object:
        return "an object";
    case json::value_t::array:
        return "an array of " + std::to_string(value.size());
    case json::value_t::string: {
        const auto &text = value.get_ref<const std::string &>();
        if (text.size() <= maxExcerpt)
            return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
        return json(text.substr(0, maxExcerpt)).dump(-1, ' ', false, json::error_handler_t::replace)
                + "... (" + std::to_string(text.size()) + " bytes)";
    }
    default:
        return value.dump();
    }
}

std::string excerpt(const std::string &text)
{
    return excerpt(json(text));
}

struct FleetError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string &where, const std::string &what)
{
    throw FleetError(where + ": " + what);
}

void requireKnownKeys(const json &object, const std::string &where,
                      std::initializer_list<const char *> known)
{
    if (!object.is_object())
        fail(where, "expected an object");
    for (auto it = object.begin(); it != object.end(); ++it) {
        const bool isKnown = std::any_of(known.begin(), known.end(),
                                         [&](const char *key) { return it.key() == key; });
        if (!isKnown)
            fail(where, "unknown key " + excerpt(it.key()));
    }
}

uint32_t toUInt32(const json &value, const std::string &where)
{
    if (!value.is_number_unsigned() || value.get<uint64_t>() > UINT32_MAX)
        fail(where, "expected a whole number from 0 to 4294967295, got " + excerpt(value));
    return static_cast<uint32_t>(value.get<uint64_t>());
}

uint32_t optionalUInt32(const json &object, const char *key, const std::string &where,
                        uint32_t fallback)
{
    const auto it = object.find(key);
    return it == object.end() ? fallback : toUInt32(*it, where + '.' + key);
}

bool optionalBool(const json &object, const char *key, const std::string &where, bool fallback)
{
    const auto it = object.find(key);
    if (it == object.end())
        return fallback;
    if (!it->is_boolean())
        fail(where + '.' + key, "expected true or false, got " + excerpt(*it));
    return it->get<bool>();
}

void readRange(const json &object, const char *key, const std::string &where, uint32_t *min,
               uint32_t *max)
{
    const auto it = object.find(key);
    if (it == object.end())
        return;
    const std::string path = where + '.' + key;
    if (!it->is_array() || it->size() != 2)
        fail(path, "expected [min, max], got " + excerpt(*it));
    *min = toUInt32((*it)[0], path + "[0]");
    *max = toUInt32((*it)[1], path + "[1]");
    if (*min > *max)
        fail(path, "min is greater than max");
}

uint32_t readValueInRange(const json &object, const char *key, const char *rangeKey,
                          const std::string &where, uint32_t fallback, uint32_t min, uint32_t max)
{
    const uint32_t value = optionalUInt32(object, key, where, std::clamp(fallback, min, max));
    if (value < min || value > max) {
        fail(where + '.' + key,
             std::to_string(value) + " is outside " + rangeKey + " [" + std::to_string(min) + ", "
                     + std::to_string(max) + "]");
    }
    return value;
}

ChannelModel readChannel(const json &object, const std::string &where)
{
    requireKnownKeys(object, where,
                     {"type", "sensorType", "speed", "speedRange", "acceleration",
                      "accelerationRange", "lowVibration", "holding"});
    ChannelModel ch;
    ch.type = optionalUInt32(object, "type", where, ch.type);
    ch.sensorType = optionalUInt32(object, "sensorType", where, ch.sensorType);
    readRange(object, "speedRange", where, &ch.speedMin, &ch.speedMax);
    ch.speed = readValueInRange(object, "speed", "speedRange", where, ch.speed, ch.speedMin,
                                ch.speedMax);
    readRange(object, "accelerationRange", where, &ch.accelerationMin, &ch.accelerationMax);
    ch.acceleration = readValueInRange(object, "acceleration", "accelerationRange", where,
                                       ch.acceleration, ch.accelerationMin, ch.accelerationMax);

    const auto lowVibration = object.find("lowVibration");
    if (lowVibration != object.end()) {
        const std::string path = where + ".lowVibration";
        if (!lowVibration->is_string())
            fail(path,
                 "expected \"on\", \"off\" or \"unsupported\", got " + excerpt(*lowVibration));
        const auto &text = lowVibration->get_ref<const std::string &>();
        if (text == "on")
            ch.lowVibration = 1;
        else if (text == "off")
            ch.lowVibration = 0;
        else if (text == "unsupported")
            ch.lowVibration = -1;
        else
            fail(path,
                 "expected \"on\", \"off\" or \"unsupported\", got " + excerpt(*lowVibration));
    }
    ch.holding = optionalBool(object, "holding", where, ch.holding);
    return ch;
}

SystemModel readSystem(const json &object, const std::string &where)
{
    requireKnownKeys(object, where, {"locator", "listed", "channels"});
    SystemModel system;
    const auto locator = object.find("locator");
    if (locator == object.end() || !locator->is_string()
        || locator->get_ref<const std::string &>().empty())
        fail(where + ".locator", "a non-empty string is required");
    system.locator = locator->get<std::string>();
    system.listed = optionalBool(object, "listed", where, system.listed);

    const auto channels = object.find("channels");
    if (channels == object.end())
        return system;
    if (!channels->is_array())
        fail(where + ".channels", "expected an array, got " + excerpt(*channels));
    for (std::size_t i = 0; i < channels->size(); ++i)
        system.channels.push_back(
                readChannel((*channels)[i], where + ".channels[" + std::to_string(i) + ']'));
    return system;
}

Fleet readFleet(const json &root)
{
    requireKnownKeys(root, "top level", {"latencyMicroseconds", "systems"});
    Fleet fleet;
    fleet.latencyMicroseconds
            = optionalUInt32(root, "latencyMicroseconds", "top level", fleet.latencyMicroseconds);
    if (fleet.latencyMicroseconds > maxLatencyMicroseconds)
        fail("top level.latencyMicroseconds",
             std::to_string(fleet.latencyMicroseconds) + " is above the limit of "
                     + std::to_string(maxLatencyMicroseconds));
    const auto systems = root.find("systems");
    if (systems == root.end() || !systems->is_array())
        fail("systems", "an array is required");
    std::set<std::string> seen;
    for (std::size_t i = 0; i < systems->size(); ++i) {
        const std::string where = "systems[" + std::to_string(i) + ']';
        SystemModel system = readSystem((*systems)[i], where);
        if (!seen.insert(system.locator).second)
            fail(where + ".locator", excerpt(system.locator) + " appears more than once");
        fleet.systems.push_back(std::move(system));
    }
    return fleet;
}

} // namespace

bool parseFleet(const std::string &text, Fleet *fleet, std::string *error)
{
    try {
        // Deep nesting is refused before anything parses or walks the tree.
        if (nestsDeeperThan(text, maxDepth))
            throw FleetError("values nest deeper than " + std::to_string(maxDepth) + " levels");
        *fleet = readFleet(json::parse(text));
        return true;
    } catch (const FleetError &e) {
        *error = e.what();
    } catch (const json::parse_error &e) {
        *error = std::string("not valid JSON: ") + e.what();
    } catch (const std::exception &e) {
        *error = e.what();
    }
    // The parser quotes the offending token, which may be a whole long string.
    constexpr std::size_t maxError = 300;
    if (error->size() > maxError)
        *error = error->substr(0, maxError) + "...";
    return false;
}

bool readFleetFile(const std::string &path, Fleet *fleet, std::string *error)
{
    // Non-blocking, so a FIFO cannot hold the caller up before it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = std::string("cannot open it: ") + std::strerror(errno);
        return false;
    }
    struct stat info = {};
    std::string text;
    bool ok = false;
    if (::fstat(fd, &info) != 0) {
        *error = std::string("cannot read it: ") + std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        *error = "not a regular file";
    } else if (std::size_t(info.st_size) > maxFileBytes) {
        *error = "larger than " + std::to_string(maxFileBytes) + " bytes";
    } else {
        // Read one byte past the limit, so a file that grows meanwhile is caught too.
        text.resize(maxFileBytes + 1);
        std::size_t used = 0;
        ok = true;
        while (used < text.size()) {
            const ssize_t n = ::read(fd, &text[used], text.size() - used);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *error = std::string("cannot read it: ") + std::strerror(errno);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            used += std::size_t(n);
        }
        text.resize(used);
        if (ok && used > maxFileBytes) {
            *error = "larger than " + std::to_string(maxFileBytes) + " bytes";
            ok = false;
        }
    }
    ::close(fd);
    return ok && parseFleet(text, fleet, error);
}

} // namespace nexilsim
