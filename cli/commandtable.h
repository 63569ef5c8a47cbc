#ifndef CLI_COMMANDTABLE_H
#define CLI_COMMANDTABLE_H

#include "options.h"

#include <QString>

#include <vector>

namespace cli {

// An option a command takes, as its usage line shows it ("[--channel N]...").
struct OptionUse
{
    const char *name;
    const char *usage;
};

// One entry per command: what help, parsing, usage messages and dispatch all read.
struct Command
{
    const char *name;
    const char *arguments; // as the usage line shows them
    int minArguments;
    int maxArguments;
    std::vector<OptionUse> options; // besides --trace and --help, which every command takes
    const char *summary;            // one line
    const char *details;            // for the command's own help, may be empty
    int (*run)(const Options &);
};

const std::vector<Command> &commandTable();
// nullptr for a name that is no command.
const Command *findCommand(const QString &name);
bool takesOption(const Command &command, const QString &option);
// The command's name, arguments and options, without the program's name.
QString usage(const Command &command);
QString unknownCommand(const QString &name);

} // namespace cli

#endif // CLI_COMMANDTABLE_H
