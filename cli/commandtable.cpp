#include "commandtable.h"

#include "commands.h"
#include "help.h"
#include "logcommand.h"

namespace cli {

namespace {

const std::vector<Command> table = {
        {"list",
         "",
         0,
         0,
         {},
         "the locators of the USB-attached controllers, one per line",
         "Only list searches for controllers.",
         commands::list},
        {"show",
         "LOCATOR",
         1,
         1,
         {{"channel", "[--channel N]..."}, {"json", "[--json]"}},
         "the settings of every channel, or of the ones given",
         "Per positioner channel: sensor type, units, speed, acceleration and Low Vibration\n"
         "Mode, as the window reads them; of any other channel only its type.",
         commands::show},
        {"set",
         "LOCATOR",
         1,
         1,
         {{"channel", "--channel N"},
          {"speed", "[--speed V]"},
          {"acceleration", "[--acceleration V]"},
          {"low-vibration", "[--low-vibration on|off]"}},
         "writes as the window does, reads back, prints the result",
         "Only fields that differ from what the controller holds are written. Exit status 1\n"
         "when the controller does not hold what was asked.",
         commands::set},
        {"save",
         "LOCATOR FILE",
         2,
         2,
         {{"force", "[--force]"}},
         "a snapshot of every channel as JSON",
         "The file is replaced only once the whole snapshot is written. A write-protected\n"
         "file (no write permission for its owner) is replaced only with --force.",
         commands::save},
        {"diff",
         "LOCATOR|FILE LOCATOR|FILE",
         2,
         2,
         {{"json", "[--json]"}},
         "the fields that differ, \"left -> right\"",
         "An argument naming an existing file is read as a snapshot (write ./name for a file\n"
         "whose name looks like a locator); otherwise the first is a locator, and so is the\n"
         "second if it holds a colon. Two controllers are read one after the other. Exit\n"
         "status 0: no difference, 1: differences.",
         commands::diff},
        {"restore",
         "LOCATOR FILE",
         2,
         2,
         {{"dry-run", "[--dry-run]"}, {"channel", "[--channel N]..."}, {"field", "[--field F]..."}},
         "writes the fields that differ from FILE, checks, reports",
         "The whole file and the controller are checked before anything is written.",
         commands::restore},
        {"log",
         "",
         0,
         0,
         {{"since", "[--since TIME]"},
          {"until", "[--until TIME]"},
          {"controller", "[--controller LOC]"},
          {"channel", "[--channel N]..."},
          {"setting", "[--setting S]"},
          {"source", "[--source S]"},
          {"json", "[--json|--csv]"},
          {"csv", ""}},
         "the journal's entries, every program's writes of this user",
         "A table in local time, or the lines as stored (--json), or CSV with a header row.\n"
         "Exit status 0: entries found, 1: none match.",
         logcommand::run},
        {"help", "[COMMAND]", 0, 1, {}, "this help, or the help of COMMAND", "", help::run},
};

} // namespace

const std::vector<Command> &commandTable()
{
    return table;
}

const Command *findCommand(const QString &name)
{
    for (const Command &command : commandTable()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

bool takesOption(const Command &command, const QString &option)
{
    for (const OptionUse &use : command.options) {
        if (option == QLatin1String(use.name))
            return true;
    }
    return false;
}

QString usage(const Command &command)
{
    QString text = QLatin1String(command.name);
    if (*command.arguments != '\0')
        text += QLatin1Char(' ') + QLatin1String(command.arguments);
    for (const OptionUse &use : command.options) {
        if (*use.usage != '\0') // shown with another option's
            text += QLatin1Char(' ') + QLatin1String(use.usage);
    }
    return text;
}

QString unknownCommand(const QString &name)
{
    return QStringLiteral("unknown command \"%1\"; see --help").arg(name);
}

} // namespace cli
