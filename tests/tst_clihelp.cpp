// velotune-cli's help, through the real executable: the program's help lists every command
// it runs, and each command's own help shows the usage and options the command really takes.

#include "clirunner.h"

namespace {

const QString locator = QStringLiteral("usb:id:31415926");
const QString file = QStringLiteral("nosuch.json"); // never there: no command gets past it

const QStringList everyOption = {
        QStringLiteral("channel"),       QStringLiteral("speed"),   QStringLiteral("acceleration"),
        QStringLiteral("low-vibration"), QStringLiteral("json"),    QStringLiteral("dry-run"),
        QStringLiteral("csv"),           QStringLiteral("since"),   QStringLiteral("until"),
        QStringLiteral("controller"),    QStringLiteral("setting"), QStringLiteral("source")};

// The lines of the program's help between "Commands:" and the next empty line: the usage of
// each command, its summary on the same line or the next.
QStringList listedCommands(const QString &help)
{
    QStringList names;
    const QStringList lines = help.split(QLatin1Char('\n'));
    const auto start = lines.indexOf(QStringLiteral("Commands:"));
    for (auto i = start + 1; start >= 0 && i < lines.size() && !lines[i].isEmpty(); ++i) {
        const QString line = lines[i];
        // A summary of its own line is indented further than a command.
        if (line.startsWith(QLatin1String("  ")) && line.at(2) != QLatin1Char(' '))
            names << line.mid(2).section(QLatin1Char(' '), 0, 0);
    }
    return names;
}

} // namespace

class tst_clihelp : public QObject
{
    Q_OBJECT

private slots:
    void programHelp_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("help") << QStringList{QStringLiteral("help")};
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")};
        QTest::newRow("-h") << QStringList{QStringLiteral("-h")};
    }

    // The help lists every command the program runs, and each has a help of its own.
    void programHelp()
    {
        QFETCH(QStringList, arguments);
        CliRunner cli;
        const CliRun run = cli.run(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QString());
        QVERIFY2(run.out.contains(QStringLiteral("Exit status:")), qPrintable(run.out));
        const QStringList names = listedCommands(run.out);
        QCOMPARE(names,
                 QStringList({QStringLiteral("list"), QStringLiteral("show"), QStringLiteral("set"),
                              QStringLiteral("save"), QStringLiteral("diff"),
                              QStringLiteral("restore"), QStringLiteral("log"),
                              QStringLiteral("help")}));
        for (const QString &name : names) {
            const CliRun own = cli.run({QStringLiteral("help"), name});
            QCOMPARE(own.exitCode, 0);
            QVERIFY2(own.out.startsWith(QStringLiteral("Usage: velotune-cli ") + name),
                     qPrintable(own.out));
        }
    }

    void commandHelp_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("usage"); // as the help and the usage message show it
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("positional"); // what the command needs to get that far

        const struct
        {
            const char *command;
            const char *usage;
            QStringList options;
            QStringList positional;
        } commands[] = {
                {"list", "list", {}, {}},
                {"show",
                 "show LOCATOR [--channel N]... [--json]",
                 {QStringLiteral("channel"), QStringLiteral("json")},
                 {locator}},
                {"set",
                 "set LOCATOR --channel N [--speed V] [--acceleration V] [--low-vibration on|off]",
                 {QStringLiteral("channel"), QStringLiteral("speed"),
                  QStringLiteral("acceleration"), QStringLiteral("low-vibration")},
                 {locator}},
                {"save", "save LOCATOR FILE [--force]", {QStringLiteral("force")}, {locator, file}},
                {"diff",
                 "diff LOCATOR|FILE LOCATOR|FILE [--json]",
                 {QStringLiteral("json")},
                 {locator, file}},
                {"restore",
                 "restore LOCATOR FILE [--dry-run] [--channel N]... [--field F]...",
                 {QStringLiteral("dry-run"), QStringLiteral("channel")},
                 {locator, file}},
                {"log",
                 "log [--since TIME] [--until TIME] [--controller LOC] [--channel N]... "
                 "[--setting S] [--source S] [--json|--csv]",
                 {QStringLiteral("since"), QStringLiteral("until"), QStringLiteral("controller"),
                  QStringLiteral("channel"), QStringLiteral("setting"), QStringLiteral("source"),
                  QStringLiteral("json"), QStringLiteral("csv")},
                 {}},
                {"help", "help [COMMAND]", {}, {}},
        };
        for (const auto &c : commands) {
            const QString name = QLatin1String(c.command);
            QTest::addRow("help %s", c.command) << QStringList{QStringLiteral("help"), name}
                                                << c.usage << c.options << c.positional;
            QTest::addRow("%s --help", c.command) << QStringList{name, QStringLiteral("--help")}
                                                  << c.usage << c.options << c.positional;
        }
        // Whatever else the line has, and however wrong.
        QTest::newRow("--help before the command")
                << QStringList{QStringLiteral("--help"), QStringLiteral("save")}
                << "save LOCATOR FILE [--force]" << QStringList{QStringLiteral("force")}
                << QStringList{locator, file};
        QTest::newRow("--help with a bad number")
                << QStringList{QStringLiteral("set"), QStringLiteral("--speed"),
                               QStringLiteral("x"), QStringLiteral("--help")}
                << "set LOCATOR --channel N [--speed V] [--acceleration V] [--low-vibration on|off]"
                << QStringList{QStringLiteral("channel"), QStringLiteral("speed"),
                               QStringLiteral("acceleration"), QStringLiteral("low-vibration")}
                << QStringList{locator};
    }

    // The command's help shows the usage its usage message shows, and lists exactly the
    // options the command accepts; nothing reaches the controller.
    void commandHelp()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, usage);
        QFETCH(QStringList, options);
        QFETCH(QStringList, positional);
        CliRunner cli;
        const CliRun run = cli.run(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.calls(), QStringList());
        const QStringList lines = run.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.first(), QStringLiteral("Usage: velotune-cli ") + usage);
        QVERIFY2(lines.contains(QStringLiteral("Options:")), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("\n  --trace ")), qPrintable(run.out));

        // Too many arguments: the usage message names the same usage.
        const QString name = usage.section(QLatin1Char(' '), 0, 0);
        const CliRun wrong
                = cli.run({name, QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        QCOMPARE(wrong.exitCode, 2);
        QCOMPARE(wrong.err.trimmed(), QStringLiteral("velotune-cli: usage: velotune-cli ") + usage);

        // Each option the help lists is taken, each other one refused by name.
        for (const QString &option : everyOption) {
            const bool listed = run.out.contains(QStringLiteral("\n  --%1 ").arg(option));
            QCOMPARE(listed, options.contains(option));
            QStringList line = QStringList{name} + positional << QStringLiteral("--") + option;
            // A value no option takes keeps a taken one from reaching the controller.
            if (option != QLatin1String("json") && option != QLatin1String("dry-run")
                && option != QLatin1String("csv"))
                line << QStringLiteral("x");
            const CliRun tried = cli.run(line);
            const bool refused = tried.err.contains(QStringLiteral("does not take --") + option);
            QVERIFY2(refused != listed, qPrintable(line.join(QLatin1Char(' ')) + tried.err));
            QVERIFY(!tried.wrote());
        }
    }

    void helpRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString unknown
                = QStringLiteral("velotune-cli: unknown command \"nosuch\"; see --help");
        QTest::newRow("help nosuch")
                << QStringList{QStringLiteral("help"), QStringLiteral("nosuch")} << unknown;
        QTest::newRow("nosuch --help")
                << QStringList{QStringLiteral("nosuch"), QStringLiteral("--help")} << unknown;
        QTest::newRow("help HELP") << QStringList{QStringLiteral("help"), QStringLiteral("SHOW")}
                                   << "velotune-cli: unknown command \"SHOW\"; see --help";
        QTest::newRow("help of two commands")
                << QStringList{QStringLiteral("help"), QStringLiteral("show"),
                               QStringLiteral("set")}
                << "velotune-cli: usage: velotune-cli help [COMMAND]";
        QTest::newRow("help with an option")
                << QStringList{QStringLiteral("help"), QStringLiteral("--json")}
                << "velotune-cli: help does not take --json; usage: help [COMMAND]";
    }

    // A usage error, said on one line, with nothing on standard output.
    void helpRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        CliRunner cli;
        const CliRun run = cli.run(arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err, message + QLatin1Char('\n'));
        QCOMPARE(run.out, QString());
    }
};

QTEST_GUILESS_MAIN(tst_clihelp)
#include "tst_clihelp.moc"
