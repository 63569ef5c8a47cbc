#ifndef CLI_HELP_H
#define CLI_HELP_H

#include "options.h"

namespace help {

// help [COMMAND]: the program's help, or COMMAND's own; an unknown COMMAND is a usage error.
int run(const Options &options);

} // namespace help

#endif // CLI_HELP_H
