#ifndef CLIRUNNER_H
#define CLIRUNNER_H

// Runs the real velotune-cli against the simulator, with a state file so that settings carry
// from one run to the next, and collects what a user (or a script) would see.

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

struct CliRun
{
    int exitCode = -1; // -1 also when a signal ended the process
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

// Waits up to a minute for `process`, then fills the exit code (-1 for a crash or a kill) and
// both outputs of `result`; a process that hangs is killed and leaves `result` as it was.
template<typename Result>
void finish(QProcess *process, Result *result)
{
    if (!process->waitForFinished(60000)) {
        process->kill();
        process->waitForFinished();
        return;
    }
    result->exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    result->out = QString::fromUtf8(process->readAllStandardOutput());
    result->err = QString::fromUtf8(process->readAllStandardError());
}

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
        // The user's own journal is never written or read by a test.
        env.insert(QStringLiteral("VELOTUNE_JOURNAL"), path(QStringLiteral("journal.jsonl")));
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
        finish(&process, &result);
        return result;
    }
    CliRun run(const QStringList &arguments) const { return run(arguments, environment()); }

    // For what QProcess cannot do: arguments as raw bytes, standard output on a descriptor of
    // the test's own (a pipe closed or full), standard error into a file. Always with --trace.
    pid_t spawn(const QList<QByteArray> &arguments, const QProcessEnvironment &env, int outFd,
                const QString &errFile) const
    {
        QList<QByteArray> argv = {QByteArray(VELOTUNE_CLI), QByteArray("--trace")};
        argv += arguments;
        std::vector<char *> args;
        for (QByteArray &a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        QList<QByteArray> envBytes;
        for (const QString &e : env.toStringList())
            envBytes << e.toUtf8();
        std::vector<char *> envp;
        for (QByteArray &e : envBytes)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const QByteArray errName = QFile::encodeName(errFile);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errName.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // The exit status as CliRun has it: -1 when a signal ended the process.
    static int waitFor(pid_t pid)
    {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    QTemporaryDir m_dir;
};

#endif // CLIRUNNER_H
