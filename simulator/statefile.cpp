// The state file, written by the simulator only:
//
// {"format": "nexilsim-state", "version": 1,
//  "systems": {"usb:id:31415926": [{"speed": 2000000, "acceleration": 1000000,
//                                   "lowVibration": "off"}, ...]}}
//
// One entry per channel of every system that was changed. It is read back as strictly as the
// fleet configuration: a file that does not fit the fleet makes the fleet unusable with a
// message that says to delete it, instead of silently resetting anybody's settings.

#include "statefile.h"

#include "jsondepth.h"
#include "simulator.h"
#include "statuscodes.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <random>
#include <signal.h>
#include <stdexcept>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nexilsim {

namespace {

using nlohmann::json;

constexpr const char *formatName = "nexilsim-state";
constexpr std::size_t maxStateSize = std::size_t(4) * 1024 * 1024;
// As the fleet configuration: deeper nesting is refused before anything walks the tree.
constexpr int maxDepth = 32;
// Another program holding the file's lock longer than this is reported, not waited for.
constexpr auto maxLockWait = std::chrono::seconds(2);

struct StateError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

std::string systemError(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

uint32_t hashOf(const std::string &text)
{
    uint32_t hash = 2166136261u;
    for (const unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

// One lock byte per system, by its locator, so processes with different fleets agree.
off_t lockOffset(const std::string &locator)
{
    return off_t(hashOf(locator) & 0x3FFFFFFFu) + 1;
}

// `path` with its file name cut so that `suffix` more bytes still fit the file system's name
// limit. A cut name ends in a hash of the whole path, so two long names that share their start
// still get names of their own, and every process derives the same one.
std::string fitted(const std::string &path, std::size_t suffix)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t room = NAME_MAX - suffix;
    if (path.size() - start <= room)
        return path;
    char hash[16];
    std::snprintf(hash, sizeof hash, "-%08x", unsigned(hashOf(path)));
    return path.substr(0, start + room - std::strlen(hash)) + hash;
}

bool lockRange(int fd, off_t offset, short type, pid_t *holder = nullptr)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    const int result = fcntl(fd, F_SETLK, &lock);
    if (result != 0 && holder != nullptr) {
        const int lockErrno = errno;
        struct flock probe = {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = offset;
        probe.l_len = 1;
        *holder = fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK ? probe.l_pid : 0;
        errno = lockErrno;
    }
    return result == 0;
}

std::string heldBy(pid_t holder)
{
    return holder > 0 ? " (process " + std::to_string(holder) + ")" : std::string();
}

// Takes the lock byte at `offset`, waiting at most maxLockWait for another program to let go.
// SIGINT, SIGTERM, SIGHUP and SIGQUIT end the wait at once: they are let through only while
// sleeping, so one that arrives just before the sleep still cuts it short.
uint32_t waitForLock(int fd, off_t offset, std::string *why)
{
    const int stopping[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    sigset_t stop;
    sigemptyset(&stop);
    for (const int signal : stopping)
        sigaddset(&stop, signal);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &stop, &before);
    sigset_t sleeping;
    sigfillset(&sleeping);
    for (const int signal : stopping) {
        if (sigismember(&before, signal) == 0)
            sigdelset(&sleeping, signal);
    }
    const auto deadline = std::chrono::steady_clock::now() + maxLockWait;
    uint32_t result = status::Ok;
    pid_t holder = 0;
    while (!lockRange(fd, offset, F_WRLCK, &holder)) {
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            *why = systemError("cannot lock the state file");
            result = status::ConfigurationError;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            *why = "locked by another program" + heldBy(holder);
            result = status::AlreadyOpen;
            break;
        }
        const timespec pause = {0, 10L * 1000 * 1000};
        if (pselect(0, nullptr, nullptr, nullptr, &pause, &sleeping) < 0 && errno == EINTR) {
            *why = "locked by another program" + heldBy(holder) + "; the wait was interrupted";
            result = status::AlreadyOpen;
            break;
        }
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return result;
}

// The whole file or an error; a missing file is an empty state.
bool readState(const std::string &path, json *out, std::string *error)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            *out = json::object();
            return true;
        }
        *error = systemError("cannot open it");
        return false;
    }
    std::string text;
    struct stat info = {};
    bool ok = fstat(fd, &info) == 0;
    if (!ok) {
        *error = systemError("cannot read it");
    } else if (!S_ISREG(info.st_mode)) {
        *error = "not a regular file";
        ok = false;
    } else {
        char chunk[65536];
        ssize_t n = 0;
        while ((n = read(fd, chunk, sizeof chunk)) > 0 && text.size() <= maxStateSize)
            text.append(chunk, std::size_t(n));
        if (n < 0) {
            *error = systemError("cannot read it");
            ok = false;
        } else if (text.size() > maxStateSize) {
            *error = "larger than " + std::to_string(maxStateSize) + " bytes";
            ok = false;
        }
    }
    close(fd);
    if (!ok)
        return false;
    try {
        if (nestsDeeperThan(text, maxDepth))
            throw StateError("values nest deeper than " + std::to_string(maxDepth) + " levels");
        const json state = json::parse(text);
        if (!state.is_object() || state.value("format", json()) != formatName)
            throw StateError("not a simulator state file");
        if (state.value("version", json()) != 1)
            throw StateError("unsupported version");
        if (state.size() != 3 || !state.contains("systems") || !state["systems"].is_object())
            throw StateError("expected exactly \"format\", \"version\" and an object \"systems\"");
        *out = state["systems"];
        return true;
    } catch (const std::exception &e) {
        *error = e.what();
        return false;
    }
}

uint32_t number(const json &entry, const char *key, uint32_t min, uint32_t max,
                const std::string &where)
{
    if (!entry.contains(key) || !entry[key].is_number_unsigned())
        throw StateError(where + ": \"" + key + "\" must be a whole number");
    const auto value = entry[key].get<std::uint64_t>();
    if (value < min || value > max)
        throw StateError(where + ": \"" + key + "\" " + std::to_string(value) + " is outside "
                         + std::to_string(min) + " to " + std::to_string(max));
    return uint32_t(value);
}

// Checks one system's entry against its model and, only when all of it fits, applies it.
void applyEntry(const json &entry, SystemModel *system)
{
    const std::string where = "system \"" + system->locator + "\"";
    if (!entry.is_array() || entry.size() != system->channels.size())
        throw StateError(where + ": expected " + std::to_string(system->channels.size())
                         + " channels");
    std::vector<ChannelModel> channels = system->channels;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const json &item = entry[i];
        const std::string at = where + " channel " + std::to_string(i);
        ChannelModel &channel = channels[i];
        if (!item.is_object() || item.size() != 3)
            throw StateError(at + ": expected \"speed\", \"acceleration\" and \"lowVibration\"");
        channel.speed = number(item, "speed", channel.speedMin, channel.speedMax, at);
        channel.acceleration = number(item, "acceleration", channel.accelerationMin,
                                      channel.accelerationMax, at);
        const json lowVibration = item.value("lowVibration", json());
        const int wanted = lowVibration == "on" ? 1 : lowVibration == "off" ? 0 : -1;
        if (lowVibration != "on" && lowVibration != "off" && lowVibration != "unsupported")
            throw StateError(at + ": \"lowVibration\" must be \"on\", \"off\" or \"unsupported\"");
        if ((wanted < 0) != (channel.lowVibration < 0))
            throw StateError(at + ": Low Vibration support differs from the fleet");
        channel.lowVibration = wanted;
    }
    system->channels = std::move(channels);
}

json entryOf(const SystemModel &system)
{
    json channels = json::array();
    for (const ChannelModel &channel : system.channels) {
        channels.push_back({{"speed", channel.speed},
                            {"acceleration", channel.acceleration},
                            {"lowVibration",
                             channel.lowVibration < 0            ? "unsupported"
                                     : channel.lowVibration != 0 ? "on"
                                                                 : "off"}});
    }
    return channels;
}

// Serialises read-modify-write of the state file between processes.
class FileLock
{
public:
    explicit FileLock(int fd) : m_fd(fd) { }
    ~FileLock()
    {
        if (m_held)
            lockRange(m_fd, 0, F_UNLCK);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    uint32_t take(std::string *why)
    {
        const uint32_t result = waitForLock(m_fd, 0, why);
        m_held = result == status::Ok;
        return result;
    }

private:
    int m_fd;
    bool m_held = false;
};

// Reads the state file under its lock and hands the systems it holds to `apply`; a broken
// file, or an entry `apply` refuses, becomes *error.
template<typename Apply>
uint32_t readLocked(int lockFd, const std::string &path, std::string *error, Apply apply)
{
    FileLock lock(lockFd);
    if (const uint32_t busy = lock.take(error))
        return busy;
    json systems;
    if (!readState(path, &systems, error))
        return status::ConfigurationError;
    try {
        apply(systems);
    } catch (const std::exception &e) {
        *error = e.what();
        return status::ConfigurationError;
    }
    return status::Ok;
}

// A temporary file beside `path` under a name nobody can guess or plant beforehand.
int createTemporary(const std::string &path, mode_t mode, std::string *name)
{
    std::random_device random;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = fitted(path, std::strlen(".tmp.") + 12);
        *name += ".tmp.";
        for (int i = 0; i < 12; ++i)
            *name += digits[random() % (sizeof digits - 1)];
        const int fd
                = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            // The state file's own mode, whatever the umask.
            if (fchmod(fd, mode) != 0) {
                const int savedErrno = errno;
                close(fd);
                unlink(name->c_str());
                errno = savedErrno;
                return -1;
            }
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

} // namespace

void StateStore::configure()
{
    const char *path = std::getenv("NEXILCONTROL_SIM_STATE");
    m_path = path != nullptr ? path : "";
}

bool StateStore::openLockFile(std::string *error)
{
    if (m_lockFd >= 0)
        return true;
    // Refused before anything is created beside it.
    struct stat info = {};
    if (lstat(m_path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        *error = S_ISLNK(info.st_mode) ? "a symbolic link, not a regular file"
                                       : "not a regular file";
        return false;
    }
    // Kept open for the life of the process: closing any descriptor of the file would drop
    // every fcntl lock this process has on it.
    const std::string lockPath = fitted(m_path, std::strlen(".lock")) + ".lock";
    const int fd
            = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        *error = systemError("cannot open " + lockPath);
        return false;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        *error = lockPath + " is not a regular file";
        return false;
    }
    m_lockFd = fd;
    return true;
}

uint32_t StateStore::load(Fleet *fleet, std::string *error)
{
    if (!enabled())
        return status::Ok;
    if (!openLockFile(error))
        return status::ConfigurationError;
    return readLocked(m_lockFd, m_path, error, [fleet](const json &systems) {
        // By name, so a large fleet costs no search per entry.
        std::map<std::string, SystemModel *> byLocator;
        for (SystemModel &system : fleet->systems)
            byLocator.emplace(system.locator, &system);
        for (auto it = systems.begin(); it != systems.end(); ++it) {
            const auto system = byLocator.find(it.key());
            if (system == byLocator.end())
                throw StateError("system \"" + it.key() + "\" is not in the fleet");
            applyEntry(it.value(), system->second);
        }
    });
}

uint32_t StateStore::hold(const SystemModel &system, std::string *why)
{
    if (!enabled())
        return status::Ok;
    std::string error;
    if (!openLockFile(&error)) {
        *why = error;
        return status::ConfigurationError;
    }
    pid_t holder = 0;
    if (lockRange(m_lockFd, lockOffset(system.locator), F_WRLCK, &holder))
        return status::Ok;
    *why = "System " + system.locator + " is held open by another program" + heldBy(holder);
    return status::AlreadyOpen;
}

void StateStore::release(const SystemModel &system)
{
    if (enabled() && m_lockFd >= 0)
        lockRange(m_lockFd, lockOffset(system.locator), F_UNLCK);
}

uint32_t StateStore::refresh(SystemModel *system, std::string *error)
{
    if (!enabled())
        return status::Ok;
    if (!openLockFile(error))
        return status::ConfigurationError;
    return readLocked(m_lockFd, m_path, error, [system](const json &systems) {
        if (systems.contains(system->locator))
            applyEntry(systems.at(system->locator), system);
    });
}

uint32_t StateStore::save(const SystemModel &system, std::string *error)
{
    if (!enabled())
        return status::Ok;
    if (!openLockFile(error))
        return status::ConfigurationError;
    FileLock lock(m_lockFd);
    if (const uint32_t busy = lock.take(error))
        return busy;
    json systems;
    if (!readState(m_path, &systems, error))
        return status::ConfigurationError;
    systems[system.locator] = entryOf(system);
    const std::string text
            = json{{"format", formatName}, {"version", 1}, {"systems", systems}}.dump(2) + "\n";
    // Written beside the file and renamed over it: a reader sees the old or the new state.
    struct stat info = {};
    const mode_t mode = lstat(m_path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0600;
    std::string temporary;
    const int fd = createTemporary(m_path, mode, &temporary);
    if (fd < 0) {
        *error = systemError("cannot write a temporary file beside it");
        return status::ConfigurationError;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += std::size_t(n);
    }
    const bool ok = written == text.size() && fsync(fd) == 0;
    const int savedErrno = errno;
    close(fd);
    if (!ok || std::rename(temporary.c_str(), m_path.c_str()) != 0) {
        errno = ok ? errno : savedErrno;
        *error = systemError("cannot write " + m_path);
        unlink(temporary.c_str());
        return status::ConfigurationError;
    }
    return status::Ok;
}

// The Simulator's side, here to keep simulator.cpp about the model.

uint32_t Simulator::applyState()
{
    m_state.configure();
    if (m_configError != nullptr)
        return status::Ok;
    std::string error;
    const uint32_t loaded = m_state.load(&m_fleet, &error);
    if (loaded == status::AlreadyOpen) {
        // Tried again on the next call; nothing of the fleet is usable until then.
        m_heldText = keep("State file '" + m_state.path() + "': " + error);
        return loaded;
    }
    m_statePending = false;
    if (loaded == status::Ok)
        return loaded;
    m_fleet = Fleet();
    m_configError = keep("State file '" + m_state.path() + "' is unusable: " + error
                         + " (delete it to start again from the fleet's settings)");
    report(m_configError);
    return status::ConfigurationError;
}

uint32_t Simulator::holdAcrossProcesses(std::size_t index)
{
    SystemModel &system = m_fleet.systems[index];
    std::string message;
    const uint32_t held = m_state.hold(system, &message);
    if (held == status::AlreadyOpen) {
        m_heldText = keep(message);
        return held;
    }
    if (held != status::Ok) {
        m_stateError = keep("State file '" + m_state.path() + "': " + message);
        return status::ConfigurationError;
    }
    const uint32_t refreshed = m_state.refresh(&system, &message);
    if (refreshed == status::Ok)
        return status::Ok;
    m_state.release(system);
    return stateFailure(refreshed, message);
}

uint32_t Simulator::stateFailure(uint32_t code, const std::string &message)
{
    const char *text = keep("State file '" + m_state.path() + "': " + message);
    if (code == status::AlreadyOpen)
        m_heldText = text;
    else
        m_stateError = text;
    return code;
}

void Simulator::releaseAcrossProcesses(std::size_t index)
{
    m_state.release(m_fleet.systems[index]);
}

uint32_t Simulator::persist(uint32_t handle)
{
    const SystemModel *system = systemFor(handle);
    if (system == nullptr)
        return status::Ok;
    std::string error;
    const uint32_t saved = m_state.save(*system, &error);
    return saved == status::Ok ? saved : stateFailure(saved, error);
}

} // namespace nexilsim
