// The README's velotune-cli examples, taken from README.md itself and run as a newcomer would:
// in order, in one bash, from a source tree whose build/ holds this build's velotune-cli and
// simulator. Each command must exit as its comment says (0 unless it names an exit status)
// and print the lines quoted in the indented comment lines below it.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Step
{
    QString command;
    int exitCode = 0;
    QStringList lines;
};

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The first shell block of the "Command line" section; none if there is no such block.
QVector<Step> readmeSteps()
{
    const QString text = fileText(QStringLiteral(README_FILE));
    const int section = int(text.indexOf(QStringLiteral("\n## Command line")));
    const int begin = section < 0 ? -1 : int(text.indexOf(QStringLiteral("```sh\n"), section));
    const int end = begin < 0 ? -1 : int(text.indexOf(QStringLiteral("\n```"), begin + 1));
    if (end < 0)
        return {};
    static const QRegularExpression printed(QStringLiteral("^#   (.*)$"));
    static const QRegularExpression comment(QStringLiteral("\\s+#\\s(.*)$"));
    static const QRegularExpression exitStatus(QStringLiteral("\\bexit (\\d+)\\b"));
    QVector<Step> steps;
    const int first = begin + 6;
    for (const QString &line : text.mid(first, end - first).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch output = printed.match(line);
        if (output.hasMatch() && !steps.isEmpty()) {
            steps.last().lines << output.captured(1);
            continue;
        }
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        Step step;
        step.command = line;
        const QRegularExpressionMatch trailing = comment.match(line);
        if (trailing.hasMatch()) {
            step.command = line.left(trailing.capturedStart());
            const QRegularExpressionMatch status = exitStatus.match(trailing.captured(1));
            if (status.hasMatch())
                step.exitCode = status.captured(1).toInt();
        }
        steps << step;
    }
    return steps;
}

} // namespace

class tst_CliReadme : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_steps = readmeSteps();
        QVERIFY2(!m_steps.isEmpty(), "no commands in the README's Command line block");
        QVERIFY(m_dir.isValid());

        // A source tree after `make build`, as the block expects to start in.
        const QDir root(m_dir.path());
        QVERIFY(root.mkpath(QStringLiteral("src/build/cli")));
        QVERIFY(root.mkpath(QStringLiteral("src/build/simulator")));
        QVERIFY(root.mkpath(QStringLiteral("tmp")));
        QVERIFY(root.mkpath(QStringLiteral("results")));
        QVERIFY(QFile::link(QStringLiteral(VELOTUNE_CLI),
                            root.filePath(QStringLiteral("src/build/cli/velotune-cli"))));
        QVERIFY(QFile::link(
                QStringLiteral(SIMULATOR_LIBRARY),
                root.filePath(QStringLiteral("src/build/simulator/libNexilControl.so"))));

        // Every command's output and status into results/, in the one shell that keeps the
        // block's variables and folder.
        QString script;
        const QString results = root.filePath(QStringLiteral("results"));
        for (int i = 0; i < m_steps.size(); ++i) {
            script += QStringLiteral("{ %1\n} >'%2/%3.out' 2>'%2/%3.err'; echo $? >'%2/%3.rc'\n")
                              .arg(m_steps.at(i).command, results)
                              .arg(i);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // The block has to set these itself.
        env.remove(QStringLiteral("NEXILCONTROL_LIBRARY"));
        env.remove(QStringLiteral("NEXILCONTROL_SIM_STATE"));
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
        env.insert(QStringLiteral("TMPDIR"), root.filePath(QStringLiteral("tmp")));
        QProcess bash;
        bash.setProcessEnvironment(env);
        bash.setWorkingDirectory(root.filePath(QStringLiteral("src")));
        bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
        bash.closeWriteChannel(); // a command that reads its input ends instead of waiting
        if (!bash.waitForFinished(120000)) {
            bash.kill();
            bash.waitForFinished();
            QFAIL("the README's commands did not end within two minutes");
        }
        QCOMPARE(bash.exitStatus(), QProcess::NormalExit);
    }

    void commandsRunAsWritten_data()
    {
        QTest::addColumn<int>("step");
        for (int i = 0; i < m_steps.size(); ++i)
            QTest::addRow("%d: %s", i + 1, qPrintable(m_steps.at(i).command.simplified())) << i;
    }

    void commandsRunAsWritten()
    {
        QFETCH(int, step);
        const Step &expected = m_steps.at(step);
        const QString base = QDir(m_dir.path()).filePath(QStringLiteral("results/%1").arg(step));
        const QString out = fileText(base + QStringLiteral(".out"));
        const QString err = fileText(base + QStringLiteral(".err"));
        const QString status = fileText(base + QStringLiteral(".rc")).trimmed();
        QVERIFY2(!status.isEmpty(), "the command did not run");
        QVERIFY2(status.toInt() == expected.exitCode,
                 qPrintable(QStringLiteral("exit %1, expected %2; stderr: %3")
                                    .arg(status)
                                    .arg(expected.exitCode)
                                    .arg(err.left(2000))));
        // The quoted lines, in that order.
        const QStringList lines = out.split(QLatin1Char('\n'));
        int from = 0;
        for (const QString &line : expected.lines) {
            const int at = int(lines.indexOf(line, from));
            QVERIFY2(at >= 0,
                     qPrintable(QStringLiteral("\"%1\" not printed in order:\n%2").arg(line, out)));
            from = at + 1;
        }
    }

private:
    QTemporaryDir m_dir;
    QVector<Step> m_steps;
};

QTEST_GUILESS_MAIN(tst_CliReadme)
#include "tst_clireadme.moc"
