#ifndef CLI_OPTIONS_H
#define CLI_OPTIONS_H

#include "setting.h"

#include <QStringList>

#include <cstdint>
#include <map>
#include <vector>

class QCommandLineParser;

struct Options
{
    QString command;
    QStringList arguments; // after the command
    std::vector<uint32_t> channels;
    // restore: only these fields, each once; all when empty.
    std::vector<nexil::Setting> fields;
    // What set is to write, each by its option of the settings' table; on is 1, off 0.
    std::map<nexil::Setting, uint32_t> settings;
    bool json = false;
    bool csv = false;
    // log: as given, checked by the command
    QString since;
    QString until;
    QString controller;
    QString setting;
    QString source;
    bool dryRun = false;
    bool force = false;
    bool trace = false;
};

// Plain decimal digits that fit 32 bits unsigned; nothing else.
bool parseUnsigned(const QString &text, uint32_t *out);

// Every argument must come back to its exact bytes from the QString the program works with;
// one that is not valid in the locale's encoding would name another file. False with *error
// naming the first that does not.
bool argumentsAreExact(int argc, const char *const *argv, QString *error);

// An option of the command line, with what every help shows of it.
struct OptionDefinition
{
    const char *name;
    const char *valueName; // nullptr for a switch
    const char *description;
};
const std::vector<OptionDefinition> &optionDefinitions();

// Every option and argument of the program, --help and --version included, each option's
// description naming the commands that take it.
void describeCommandLine(QCommandLineParser *parser);

// Parses the command line of the running application. --version prints and ends the process
// here; --help becomes the command help, with the command it follows as its argument. Returns
// false with *error set for anything a command cannot run with; no library call has been made
// by then.
bool parseOptions(const QStringList &arguments, Options *out, QString *error);

#endif // CLI_OPTIONS_H
