#ifndef CLI_LOGCOMMAND_H
#define CLI_LOGCOMMAND_H

#include "options.h"

// log: the journal's entries that match the options, as a table, JSON lines or CSV. Needs no
// controller library.
namespace logcommand {

int run(const Options &options);

} // namespace logcommand

#endif // CLI_LOGCOMMAND_H
