#ifndef NEXILSIM_STATEFILE_H
#define NEXILSIM_STATEFILE_H

#include <cstdint>
#include <string>

namespace nexilsim {

struct Fleet;
struct SystemModel;

// NEXILCONTROL_SIM_STATE: the settings of the simulated controllers kept in a file across
// processes, as a powered controller keeps them, and a system one process holds open refused
// to the others. The holds are fcntl locks on FILE.lock, one byte per system, so they end with
// the process that took them however it ends.
class StateStore
{
public:
    // Reads NEXILCONTROL_SIM_STATE; without it every call below does nothing.
    void configure();
    bool enabled() const { return !m_path.empty(); }
    const std::string &path() const { return m_path; }

    // The calls below that read or write the file answer 0, ConfigurationError, or AlreadyOpen
    // when another program held the file's lock too long; *error says why.

    // Applies the saved settings to the fleet. A missing file is an empty one.
    uint32_t load(Fleet *fleet, std::string *error);
    // Takes the hold of `system` for this process: 0, or AlreadyOpen with *why set.
    uint32_t hold(const SystemModel &system, std::string *why);
    void release(const SystemModel &system);
    // Re-reads the saved settings of one system: another process may have changed them.
    uint32_t refresh(SystemModel *system, std::string *error);
    // Writes the settings of `system`, keeping the others' as the file has them.
    uint32_t save(const SystemModel &system, std::string *error);

private:
    bool openLockFile(std::string *error);

    std::string m_path;
    int m_lockFd = -1;
};

} // namespace nexilsim

#endif // NEXILSIM_STATEFILE_H
