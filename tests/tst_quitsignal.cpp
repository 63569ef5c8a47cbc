// The real velotune on a slow simulated controller, ended by a signal while the channel overview
// is being filled: the fill stops at its next pause, the controller is released, and the
// program ends with 128 + the signal.

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QString xdotool(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(10000))
        p.kill();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// The traced calls' names, in order.
QStringList tracedCalls(const QString &path)
{
    QFile file(path);
    QStringList names;
    if (!file.open(QIODevice::ReadOnly))
        return names;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const int start = line.indexOf(" TQ_");
        if (start >= 0)
            names << QString::fromLatin1(line.mid(start + 1, line.indexOf('(', start) - start - 1));
    }
    return names;
}

} // namespace

class tst_QuitSignal : public QObject
{
    Q_OBJECT

private slots:
    void signalDuringFill_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void signalDuringFill()
    {
        QFETCH(int, signal);
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(),
                 "xdotool is missing (make deps installs it)");
        QTemporaryDir dir;
        QVariantList channels;
        for (int i = 0; i < 6; ++i)
            channels << QVariantMap{{QStringLiteral("speed"), 1000 + i}};
        const QVariantMap fleet{{QStringLiteral("latencyMicroseconds"), 150000},
                                {QStringLiteral("systems"),
                                 QVariantList{QVariantMap{
                                         {QStringLiteral("locator"), QStringLiteral("usb:id:9001")},
                                         {QStringLiteral("channels"), channels}}}}};
        QFile config(dir.filePath(QStringLiteral("fleet.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QJsonDocument::fromVariant(fleet).toJson());
        config.close();
        const QString trace = dir.filePath(QStringLiteral("trace.txt"));

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NEXILCONTROL_SIM_CONFIG"), config.fileName());
        env.insert(QStringLiteral("VELOTUNE_TRACE_FILE"), trace);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VELOTUNE_BINARY), QStringList());
        QVERIFY(program.waitForStarted());

        QString window;
        for (QDeadlineTimer deadline(20000);
             window.isEmpty() && !deadline.hasExpired() && !program.waitForFinished(100);)
            window = xdotool({"search", "--onlyvisible", "--pid",
                              QString::number(program.processId()), "--name", "^Nexil Velotune"});
        QVERIFY2(!window.isEmpty(), program.readAllStandardError().constData());
        // Keys go to the focused window through XTEST, as a user's would. Aimed at a window with
        // --window, xdotool would send a key's release as a synthetic event once the overview has
        // taken the focus, and the key would stay held in the X server for the next row.
        xdotool({"windowfocus", "--sync", window});
        // Connect, then View ▸ Channels: six channels of six calls at 150 ms each.
        QTRY_VERIFY_WITH_TIMEOUT(tracedCalls(trace).contains(QStringLiteral("TQ_FindSystems")),
                                 10000);
        xdotool({"key", "ctrl+space"});
        QTRY_VERIFY_WITH_TIMEOUT(tracedCalls(trace).count(QStringLiteral("TQ_GetChannelType")) == 1
                                         && tracedCalls(trace).last()
                                                 == QLatin1String("TQ_GetChannelProperty_S"),
                                 20000);
        xdotool({"key", "ctrl+1"});
        QTRY_VERIFY_WITH_TIMEOUT(tracedCalls(trace).count(QStringLiteral("TQ_GetChannelType")) >= 3,
                                 20000);
        ::kill(pid_t(program.processId()), signal);

        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 128 + signal);
        const QStringList calls = tracedCalls(trace);
        // The channel under way was finished, the rest not read, and the system released last.
        QVERIFY2(calls.count(QStringLiteral("TQ_GetChannelType")) < 1 + 6,
                 qPrintable(calls.join(' ')));
        QCOMPARE(calls.count(QStringLiteral("TQ_CloseSystem")), 1);
        QCOMPARE(calls.last(), QStringLiteral("TQ_CloseSystem"));
    }
};

QTEST_GUILESS_MAIN(tst_QuitSignal)
#include "tst_quitsignal.moc"
