#include "options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QSet>

#include <algorithm>

namespace {

const char description[] = R"(Reads, saves, compares and restores the settings of Nexil controllers.

Commands:
  list                               the locators of the USB-attached controllers, one per line
  show LOCATOR [--channel N]... [--json]
                                     every channel (or the ones given): positioner or not,
                                     sensor type, units, speed, acceleration, Low Vibration Mode
  set LOCATOR --channel N [--speed V] [--acceleration V] [--low-vibration on|off]
                                     writes as the window does, reads back, prints the result
  save LOCATOR FILE                  a snapshot of every channel as JSON
  diff LOCATOR FILE | diff FILE FILE the fields that differ, "left -> right"; a first argument
                                     naming an existing file is read as a snapshot
  restore LOCATOR FILE [--dry-run] [--channel N]...
                                     writes the fields that differ from FILE, checks, reports

Numbers are plain decimal digits from 0 to 4294967295.

Exit status:
  0    success; diff: no difference
  1    diff: differences found; set, restore: the controller does not hold what was asked
  2    usage: unknown command or option, bad number, no such channel, an argument that is
       not valid in the locale's encoding
  3    snapshot file unreadable, invalid, not matching the controller, or not writable (a
       file it would replace is left as it was); save to a path that is no regular file
  4    no controller library, or the controller refused an open, a read or the release
  130  ended by SIGINT, 143 by SIGTERM, after releasing the controller
  141  standard output closed by its reader, after releasing the controller

Environment: NEXILCONTROL_LIBRARY names the controller library to load.)";

struct Command
{
    int arguments;
    QStringList options; // the ones it accepts besides the global ones
};

const QMap<QString, Command> &commands()
{
    static const QMap<QString, Command> table = {
            {QStringLiteral("list"), {0, {}}},
            {QStringLiteral("show"), {1, {QStringLiteral("channel"), QStringLiteral("json")}}},
            {QStringLiteral("set"),
             {1,
              {QStringLiteral("channel"), QStringLiteral("speed"), QStringLiteral("acceleration"),
               QStringLiteral("low-vibration")}}},
            {QStringLiteral("save"), {2, {}}},
            {QStringLiteral("diff"), {2, {QStringLiteral("json")}}},
            {QStringLiteral("restore"),
             {2, {QStringLiteral("dry-run"), QStringLiteral("channel")}}},
    };
    return table;
}

QString usage(const QString &command)
{
    if (command == QLatin1String("list"))
        return QStringLiteral("list");
    if (command == QLatin1String("show"))
        return QStringLiteral("show LOCATOR [--channel N]... [--json]");
    if (command == QLatin1String("set"))
        return QStringLiteral(
                "set LOCATOR --channel N [--speed V] [--acceleration V] [--low-vibration on|off]");
    if (command == QLatin1String("save"))
        return QStringLiteral("save LOCATOR FILE");
    if (command == QLatin1String("diff"))
        return QStringLiteral("diff LOCATOR FILE | diff FILE FILE [--json]");
    return QStringLiteral("restore LOCATOR FILE [--dry-run] [--channel N]...");
}

bool number(const QString &option, const QString &text, uint32_t *out, QString *error)
{
    if (parseUnsigned(text, out))
        return true;
    *error = QStringLiteral("--%1 %2: not a number from 0 to 4294967295 in plain digits")
                     .arg(option, text);
    return false;
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

bool parseOptions(const QStringList &arguments, Options *out, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption channel(QStringLiteral("channel"),
                                     QStringLiteral("Channel N (0-based); show and restore take "
                                                    "several, set exactly one."),
                                     QStringLiteral("N"));
    const QCommandLineOption speed(QStringLiteral("speed"), QStringLiteral("set: the speed."),
                                   QStringLiteral("V"));
    const QCommandLineOption acceleration(QStringLiteral("acceleration"),
                                          QStringLiteral("set: the acceleration."),
                                          QStringLiteral("V"));
    const QCommandLineOption lowVibration(QStringLiteral("low-vibration"),
                                          QStringLiteral("set: Low Vibration Mode on or off."),
                                          QStringLiteral("on|off"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("show, diff: JSON instead of text."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("restore: print the plan, write nothing, stop "
                                                   "nothing."));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Print every library call to stderr."));
    parser.addOptions({channel, speed, acceleration, lowVibration, json, dryRun, trace});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, show, set, save, diff or restore."));
    parser.addPositionalArgument(QStringLiteral("arguments"),
                                 QStringLiteral("The command's locator and files."),
                                 QStringLiteral("[arguments...]"));

    // Not process(): it would end the process with status 1 on an unknown option.
    if (!parser.parse(arguments)) {
        *error = parser.errorText() + QStringLiteral(" See --help.");
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        *error = QStringLiteral("no command given; see --help");
        return false;
    }
    out->command = positional.takeFirst();
    const auto command = commands().constFind(out->command);
    if (command == commands().constEnd()) {
        *error = QStringLiteral("unknown command \"%1\"; see --help").arg(out->command);
        return false;
    }
    if (positional.size() != command->arguments) {
        *error = QStringLiteral("usage: %1 %2")
                         .arg(QCoreApplication::applicationName(), usage(out->command));
        return false;
    }
    out->arguments = positional;
    for (const QString &name : parser.optionNames()) {
        if (name != QLatin1String("trace") && !command->options.contains(name)) {
            *error = QStringLiteral("%1 does not take --%2; usage: %3")
                             .arg(out->command, name, usage(out->command));
            return false;
        }
    }
    out->trace = parser.isSet(trace);
    out->json = parser.isSet(json);
    out->dryRun = parser.isSet(dryRun);

    QSet<uint32_t> seen;
    for (const QString &text : parser.values(channel)) {
        uint32_t value = 0;
        if (!number(QStringLiteral("channel"), text, &value, error))
            return false;
        if (seen.contains(value))
            continue;
        seen.insert(value);
        out->channels.push_back(value);
    }
    std::sort(out->channels.begin(), out->channels.end());
    const auto single = [&](const QCommandLineOption &option, std::optional<uint32_t> *value) {
        const QStringList values = parser.values(option);
        if (values.isEmpty())
            return true;
        if (values.size() > 1) {
            *error = QStringLiteral("--%1 given more than once").arg(option.names().first());
            return false;
        }
        uint32_t parsed = 0;
        if (!number(option.names().first(), values.first(), &parsed, error))
            return false;
        *value = parsed;
        return true;
    };
    if (!single(speed, &out->speed) || !single(acceleration, &out->acceleration))
        return false;
    const QStringList lowVibrationValues = parser.values(lowVibration);
    if (lowVibrationValues.size() > 1) {
        *error = QStringLiteral("--low-vibration given more than once");
        return false;
    }
    if (!lowVibrationValues.isEmpty()) {
        const QString &value = lowVibrationValues.first();
        if (value != QLatin1String("on") && value != QLatin1String("off")) {
            *error = QStringLiteral("--low-vibration %1: expected on or off").arg(value);
            return false;
        }
        out->lowVibration = value == QLatin1String("on");
    }

    if (out->command == QLatin1String("set")) {
        if (parser.values(channel).size() != 1) {
            *error = QStringLiteral("set needs exactly one --channel");
            return false;
        }
        if (!out->speed && !out->acceleration && !out->lowVibration) {
            *error = QStringLiteral(
                    "set needs at least one of --speed, --acceleration and --low-vibration");
            return false;
        }
    }
    return true;
}
