#ifndef CLIRUNNER_H
#define CLIRUNNER_H

// Runs the real velotune-cli against the simulator, with a state file so that settings carry
// from one run to the next, and collects what a user (or a script) would see.

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;

    // Library calls as the --trace output lists them, e.g. "TQ_SetClosedLoopMoveSpeed_S".
    QStringList calls() const
    {
        static const QRegularExpression line(
                QStringLiteral("^velotune\\.controller: (TQ_\\w+)\\("));
        QStringList found;
        for (const QString &l : err.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = line.match(l);
            if (m.hasMatch())
                found << m.captured(1);
        }
        return found;
    }
    int count(const char *function) const { return int(calls().count(QLatin1String(function))); }
    bool wrote() const
    {
        return count("TQ_SetClosedLoopMoveSpeed_S") + count("TQ_SetClosedLoopMoveAcceleration_S")
                + count("TQ_SetChannelProperty_S") + count("TQ_Stop_S")
                > 0;
    }
};

class CliRunner
{
public:
    CliRunner() { QVERIFY(m_dir.isValid()); }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString statePath() const { return path(QStringLiteral("state.json")); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NEXILCONTROL_SIM_STATE"), statePath());
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
        return env;
    }

    // Always with --trace, so every library call can be counted.
    CliRun run(const QStringList &arguments, const QProcessEnvironment &env) const
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral(VELOTUNE_CLI),
                      QStringList(QStringLiteral("--trace")) + arguments);
        CliRun result;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }
    CliRun run(const QStringList &arguments) const { return run(arguments, environment()); }

private:
    QTemporaryDir m_dir;
};

#endif // CLIRUNNER_H
