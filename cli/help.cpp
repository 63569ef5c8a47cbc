#include "help.h"

#include "commandtable.h"
#include "exitcodes.h"
#include "output.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>

namespace help {

namespace {

QString programHelp()
{
    QCommandLineParser parser;
    describeCommandLine(&parser);
    return parser.helpText();
}

QString optionColumn(const OptionDefinition &option)
{
    QString text = QStringLiteral("--") + QLatin1String(option.name);
    if (option.valueName != nullptr)
        text += QStringLiteral(" <%1>").arg(QLatin1String(option.valueName));
    return text;
}

// The command's usage, what it does and the options it takes, --trace and --help included.
QString commandHelp(const cli::Command &command)
{
    QString summary = QLatin1String(command.summary);
    summary[0] = summary[0].toUpper();
    QString text = QStringLiteral("Usage: %1 %2\n\n%3.\n")
                           .arg(QCoreApplication::applicationName(), cli::usage(command), summary);
    if (*command.details != '\0')
        text += QLatin1String(command.details) + QLatin1Char('\n');
    text += QStringLiteral("\nOptions:\n");
    QStringList names;
    QStringList descriptions;
    for (const OptionDefinition &option : optionDefinitions()) {
        if (option.name == QLatin1String("trace") || cli::takesOption(command, option.name)) {
            names << optionColumn(option);
            descriptions << QLatin1String(option.description);
        }
    }
    names << QStringLiteral("-h, --help");
    descriptions << QStringLiteral("This help.");
    int width = 0;
    for (const QString &name : names)
        width = std::max(width, int(name.size()) + 2);
    for (int i = 0; i < names.size(); ++i)
        text += QStringLiteral("  ") + names[i].leftJustified(width) + descriptions[i]
                + QLatin1Char('\n');
    return text;
}

} // namespace

int run(const Options &options)
{
    if (options.arguments.isEmpty()) {
        output::out(programHelp());
        return exitcode::Ok;
    }
    const cli::Command *command = cli::findCommand(options.arguments.first());
    if (command == nullptr) {
        output::err(cli::unknownCommand(options.arguments.first()));
        return exitcode::Usage;
    }
    output::out(commandHelp(*command));
    return exitcode::Ok;
}

} // namespace help
