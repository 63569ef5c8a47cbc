#include "options.h"

#include "commandtable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSet>

#include <algorithm>

namespace {

const char description[] = R"(Reads, saves, compares and restores the settings of Nexil controllers.

Commands:
%1
Numbers are plain decimal digits from 0 to 4294967295.

Exit status:
  0    success, help; diff: no difference; log: entries found
  1    diff: differences found; set, restore: the controller does not hold what was asked;
       log: no entry matches
  2    usage: unknown command or option, bad number, no such channel, an argument that is
       not valid in the locale's encoding
  3    snapshot file unreadable, invalid, not matching the controller, or not writable (a
       file it would replace is left as it was); save to a path that is no regular file,
       or write-protected without --force; log: the journal is off or cannot be read
  4    no controller library, or the controller refused an open, a read or the release
  129  ended by SIGHUP, 130 by SIGINT, 131 by SIGQUIT, 143 by SIGTERM, after releasing the
       controller
  141  standard output closed by its reader, after releasing the controller

Environment: NEXILCONTROL_LIBRARY names the controller library to load; VELOTUNE_JOURNAL
names the journal file, or turns it off.)";

// Each command's usage and summary, the summary in a column of its own.
QString commandList()
{
    constexpr int column = 37;
    QString list;
    for (const cli::Command &command : cli::commandTable()) {
        QString line = QStringLiteral("  ") + cli::usage(command);
        if (line.size() + 2 > column)
            line += QLatin1Char('\n') + QString(column, QLatin1Char(' '));
        else
            line = line.leftJustified(column);
        list += line + QLatin1String(command.summary) + QLatin1Char('\n');
    }
    return list;
}

// "show, diff: " before the description of an option only some commands take.
QString takenBy(const char *option)
{
    QStringList names;
    for (const cli::Command &command : cli::commandTable()) {
        if (cli::takesOption(command, QLatin1String(option)))
            names << QLatin1String(command.name);
    }
    return names.isEmpty() ? QString() : names.join(QStringLiteral(", ")) + QStringLiteral(": ");
}

bool number(const QString &option, const QString &text, uint32_t *out, QString *error)
{
    if (parseUnsigned(text, out))
        return true;
    *error = QStringLiteral("--%1 %2: not a number from 0 to 4294967295 in plain digits")
                     .arg(option, text);
    return false;
}

bool usageError(const cli::Command &command, QString *error)
{
    *error = QStringLiteral("usage: %1 %2")
                     .arg(QCoreApplication::applicationName(), cli::usage(command));
    return false;
}

// Only --trace and the command's own options.
bool optionsTaken(const QCommandLineParser &parser, const cli::Command &command, QString *error)
{
    for (const QString &name : parser.optionNames()) {
        if (name != QLatin1String("trace") && !cli::takesOption(command, name)) {
            *error = QStringLiteral("%1 does not take --%2; usage: %3")
                             .arg(QLatin1String(command.name), name, cli::usage(command));
            return false;
        }
    }
    return true;
}

// Sorted, each channel once.
bool readChannels(const QCommandLineParser &parser, Options *out, QString *error)
{
    QSet<uint32_t> seen;
    for (const QString &text : parser.values(QStringLiteral("channel"))) {
        uint32_t value = 0;
        if (!number(QStringLiteral("channel"), text, &value, error))
            return false;
        if (seen.contains(value))
            continue;
        seen.insert(value);
        out->channels.push_back(value);
    }
    std::sort(out->channels.begin(), out->channels.end());
    return true;
}

// Each field once, by its key in a snapshot file.
bool readFields(const QCommandLineParser &parser, Options *out, QString *error)
{
    for (const QString &text : parser.values(QStringLiteral("field"))) {
        const auto setting = std::find_if(
                nexil::settingTable().begin(), nexil::settingTable().end(),
                [&](const nexil::SettingInfo &info) { return text == QLatin1String(info.key); });
        if (setting == nexil::settingTable().end()) {
            *error = QStringLiteral("--field %1: expected speed, acceleration or lowVibration")
                             .arg(text);
            return false;
        }
        if (std::find(out->fields.begin(), out->fields.end(), setting->setting)
            == out->fields.end())
            out->fields.push_back(setting->setting);
    }
    return true;
}

// The one value of an option given at most once; empty when not given.
bool single(const QCommandLineParser &parser, const QString &option, QString *value, QString *error)
{
    const QStringList values = parser.values(option);
    if (values.size() > 1) {
        *error = QStringLiteral("--%1 given more than once").arg(option);
        return false;
    }
    *value = values.isEmpty() ? QString() : values.first();
    return true;
}

// A setting's option: a number, or on or off for a setting without a unit.
bool readSetting(const QCommandLineParser &parser, const nexil::SettingInfo &setting, Options *out,
                 QString *error)
{
    const QString option = QLatin1String(setting.option);
    QString value;
    if (!single(parser, option, &value, error))
        return false;
    if (!parser.isSet(option))
        return true;
    uint32_t parsed = 0;
    if (setting.unit != nullptr) {
        if (!number(option, value, &parsed, error))
            return false;
    } else if (value == QLatin1String("on") || value == QLatin1String("off")) {
        parsed = value == QLatin1String("on") ? 1 : 0;
    } else {
        *error = QStringLiteral("--%1 %2: expected on or off").arg(option, value);
        return false;
    }
    out->settings[setting.setting] = parsed;
    return true;
}

bool setIsComplete(const QCommandLineParser &parser, const Options &options, QString *error)
{
    if (options.command != QLatin1String("set"))
        return true;
    if (parser.values(QStringLiteral("channel")).size() != 1) {
        *error = QStringLiteral("set needs exactly one --channel");
        return false;
    }
    if (options.settings.empty()) {
        *error = QStringLiteral(
                "set needs at least one of --speed, --acceleration and --low-vibration");
        return false;
    }
    return true;
}

bool helpAsked(const QCommandLineParser &parser)
{
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
}

} // namespace

bool parseUnsigned(const QString &text, uint32_t *out)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    quint64 value = 0;
    for (const QChar c : text) {
        // Only ASCII digits: no sign, no separators, no other scripts' digits.
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + quint64(c.unicode() - '0');
    }
    if (value > 0xFFFFFFFFull)
        return false;
    *out = uint32_t(value);
    return true;
}

bool argumentsAreExact(int argc, const char *const *argv, QString *error)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (QFile::encodeName(QFile::decodeName(bytes)) == bytes)
            continue;
        QString shown;
        for (const char c : bytes) {
            const auto byte = uchar(c);
            shown += byte >= 0x20 && byte < 0x7f ? QString(QLatin1Char(c))
                                                 : QStringLiteral("\\x")
                            + QString::number(byte, 16)
                                      .rightJustified(2, QLatin1Char('0'))
                                      .toUpper();
        }
        *error = QStringLiteral("argument %1 (%2) is not valid text in the locale's character "
                                "encoding; refused rather than read as another name")
                         .arg(i)
                         .arg(shown);
        return false;
    }
    return true;
}

const std::vector<OptionDefinition> &optionDefinitions()
{
    static const std::vector<OptionDefinition> definitions = {
            {"channel", "N", "Channel N (0-based); set takes exactly one, the others several."},
            {"field", "F",
             "Restore only F: speed, acceleration or lowVibration; may be given several times."},
            {"speed", "V", "The speed."},
            {"acceleration", "V", "The acceleration."},
            {"low-vibration", "on|off", "Low Vibration Mode on or off."},
            {"json", nullptr, "JSON instead of text."},
            {"csv", nullptr, "CSV instead of text."},
            {"since", "TIME",
             "Entries from TIME on: an ISO time, or a duration back from now "
             "such as 30m, 2h, 3d."},
            {"until", "TIME", "Entries up to TIME, given as for --since."},
            {"controller", "LOC", "Entries of the controller LOC."},
            {"setting", "S", "Writes of speed, acceleration or lowVibration."},
            {"source", "S",
             "Entries from form, overview, restore, \"cli set\", \"cli restore\" "
             "or python."},
            {"dry-run", nullptr, "Print the plan, write nothing, stop nothing."},
            {"force", nullptr, "Replace a file even if it is write-protected."},
            {"trace", nullptr, "Print every library call to stderr."},
    };
    return definitions;
}

void describeCommandLine(QCommandLineParser *parser)
{
    parser->setApplicationDescription(QLatin1String(description).arg(commandList()));
    parser->addHelpOption();
    parser->addVersionOption();
    for (const OptionDefinition &definition : optionDefinitions()) {
        QCommandLineOption option(QLatin1String(definition.name),
                                  takenBy(definition.name) + QLatin1String(definition.description));
        if (definition.valueName != nullptr)
            option.setValueName(QLatin1String(definition.valueName));
        parser->addOption(option);
    }
    QStringList names;
    for (const cli::Command &command : cli::commandTable())
        names << QLatin1String(command.name);
    parser->addPositionalArgument(QStringLiteral("command"),
                                  names.join(QStringLiteral(", ")) + QLatin1Char('.'));
    parser->addPositionalArgument(QStringLiteral("arguments"),
                                  QStringLiteral("The command's locator and files."),
                                  QStringLiteral("[arguments...]"));
}

bool parseOptions(const QStringList &arguments, Options *out, QString *error)
{
    QCommandLineParser parser;
    describeCommandLine(&parser);
    // Not process(): it would end the process with status 1 on an unknown option.
    if (!parser.parse(arguments)) {
        *error = parser.errorText() + QStringLiteral(" See --help.");
        return false;
    }
    QStringList positional = parser.positionalArguments();
    if (helpAsked(parser)) {
        // COMMAND --help is help COMMAND, whatever else the line has.
        out->command = QStringLiteral("help");
        out->arguments = positional.mid(0, 1);
        return true;
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (positional.isEmpty()) {
        *error = QStringLiteral("no command given; see --help");
        return false;
    }
    out->command = positional.takeFirst();
    const cli::Command *command = cli::findCommand(out->command);
    if (command == nullptr) {
        *error = cli::unknownCommand(out->command);
        return false;
    }
    if (positional.size() < command->minArguments || positional.size() > command->maxArguments)
        return usageError(*command, error);
    out->arguments = positional;
    if (!optionsTaken(parser, *command, error))
        return false;
    out->trace = parser.isSet(QStringLiteral("trace"));
    out->json = parser.isSet(QStringLiteral("json"));
    out->csv = parser.isSet(QStringLiteral("csv"));
    out->dryRun = parser.isSet(QStringLiteral("dry-run"));
    out->force = parser.isSet(QStringLiteral("force"));
    if (!readChannels(parser, out, error) || !readFields(parser, out, error))
        return false;
    for (const nexil::SettingInfo &setting : nexil::settingTable()) {
        if (!readSetting(parser, setting, out, error))
            return false;
    }
    return setIsComplete(parser, *out, error)
            && single(parser, QStringLiteral("since"), &out->since, error)
            && single(parser, QStringLiteral("until"), &out->until, error)
            && single(parser, QStringLiteral("controller"), &out->controller, error)
            && single(parser, QStringLiteral("setting"), &out->setting, error)
            && single(parser, QStringLiteral("source"), &out->source, error);
}
