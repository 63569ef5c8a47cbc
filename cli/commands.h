#ifndef CLI_COMMANDS_H
#define CLI_COMMANDS_H

#include "options.h"

// Each returns the process's exit status (exitcodes.h). They may throw interrupt::Interrupted,
// after which every system they opened has been released.
namespace commands {

int list(const Options &options);
int show(const Options &options);
int set(const Options &options);
int save(const Options &options);
int diff(const Options &options);
int restore(const Options &options);

} // namespace commands

#endif // CLI_COMMANDS_H
