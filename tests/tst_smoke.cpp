// Starts the real velotune executable on a real X server: its window maps at the default
// size on a first run, at the saved size on the next, and it quits cleanly either way.

#include "version.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <X11/Xlib.h>

namespace {

const QString kTitle = QStringLiteral("Nexil Velotune v" VELOTUNE_VERSION);

// Output that says nothing about the program itself.
bool harmless(const QString &line)
{
    return line.trimmed().isEmpty()
            || line.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"));
}

QString run(const QString &tool, const QStringList &arguments)
{
    QProcess p;
    p.start(tool, arguments);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(1000);
        qWarning("%s %s did not finish", qPrintable(tool), qPrintable(arguments.join(' ')));
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString xdotool(const QStringList &arguments)
{
    return run(QStringLiteral("xdotool"), arguments);
}

// The program's main window, or 0 while it is not mapped yet.
unsigned long findWindow(qint64 pid)
{
    const QStringList ids = xdotool({QStringLiteral("search"), QStringLiteral("--all"),
                                     QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                     QString::number(pid), QStringLiteral("--name"),
                                     QStringLiteral("^Nexil Velotune v1\\.2\\.7$")})
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return ids.size() == 1 ? ids.first().toULong() : 0;
}

// The settings' "geometry" value as the toolkit writes it (format 3.0) for a window at `rect`.
QByteArray storedGeometry(const QRect &rect)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_4_0);
    stream << quint32(0x1D9D0CB) << quint16(3) << quint16(0) << rect << rect << qint32(0)
           << quint8(0) << quint8(0) << qint32(1280) << rect;
    return bytes;
}

QRect windowRect(unsigned long window)
{
    const QString shell = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                   QString::number(window)});
    int values[4] = {};
    const char *const names[4] = {"X", "Y", "WIDTH", "HEIGHT"};
    for (int i = 0; i < 4; ++i) {
        const auto match
                = QRegularExpression(
                          QStringLiteral("(^|\\n)%1=(-?\\d+)").arg(QLatin1String(names[i])))
                          .match(shell);
        if (!match.hasMatch())
            return {};
        values[i] = match.captured(2).toInt();
    }
    return QRect(values[0], values[1], values[2], values[3]);
}

QSize windowSize(unsigned long window)
{
    const QString shell = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                   QString::number(window)});
    const auto w = QRegularExpression(QStringLiteral("WIDTH=(\\d+)")).match(shell);
    const auto h = QRegularExpression(QStringLiteral("HEIGHT=(\\d+)")).match(shell);
    if (!w.hasMatch() || !h.hasMatch())
        return {};
    return QSize(w.captured(1).toInt(), h.captured(1).toInt());
}

// What a window manager sends when the user clicks the title bar's close button.
bool sendDeleteWindow(Display *display, unsigned long window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    return sent != 0;
}

enum class Close { FileQuit, WindowManager };

} // namespace

Q_DECLARE_METATYPE(Close)

class tst_Smoke : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startsAndRemembersSize_data();
    void startsAndRemembersSize();
    void storedGeometryIsKeptOnScreen_data();
    void storedGeometryIsKeptOnScreen();

private:
    // Runs the program until its window shows, hands the window to `use`, then closes it.
    void runOnce(const QString &configHome, Close close,
                 const std::function<void(unsigned long)> &use);
    QTemporaryDir m_runtime;
    // Held open for the whole test: Xvfb resets, and briefly refuses clients, whenever its
    // last client leaves, which would otherwise happen between two runs of the program.
    Display *m_display = nullptr;
};

void tst_Smoke::initTestCase()
{
    QVERIFY2(QFileInfo(QStringLiteral(VELOTUNE_BINARY)).isExecutable(), VELOTUNE_BINARY);
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(),
             "xdotool is missing (make deps installs it)");
    m_display = XOpenDisplay(nullptr);
    QVERIFY2(m_display, "no X display");
    QVERIFY(m_runtime.isValid());
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void tst_Smoke::cleanupTestCase()
{
    if (m_display)
        XCloseDisplay(m_display);
}

void tst_Smoke::startsAndRemembersSize_data()
{
    QTest::addColumn<Close>("close");

    QTest::newRow("File > Quit from the keyboard") << Close::FileQuit;
    QTest::newRow("window manager close request") << Close::WindowManager;
}

void tst_Smoke::runOnce(const QString &configHome, Close close,
                        const std::function<void(unsigned long)> &use)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("NEXILCONTROL_SIM_CONFIG"));
    // The program's own choice of GL integration, not this test's.
    env.remove(QStringLiteral("QT_XCB_GL_INTEGRATION"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VELOTUNE_BINARY), QStringList());
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

    unsigned long window = 0;
    QDeadlineTimer mapped(30000);
    while (!(window = findWindow(program.processId())) && program.state() == QProcess::Running
           && !mapped.hasExpired())
        QTest::qWait(100);
    if (!window) {
        const QString windows = run(QStringLiteral("xwininfo"),
                                    {QStringLiteral("-root"), QStringLiteral("-tree")});
        const bool running = program.state() == QProcess::Running;
        program.kill();
        program.waitForFinished(5000);
        QFAIL(qPrintable(
                QStringLiteral("no window (program %1, exit code %2)\nstderr: %3\n%4")
                        .arg(QLatin1String(running ? "running" : "ended"))
                        .arg(program.exitCode())
                        .arg(QString::fromLocal8Bit(program.readAllStandardError()), windows)));
    }
    // The window draws without OpenGL, so no GL integration (and no GL driver) may be loaded.
    QFile maps(QStringLiteral("/proc/%1/maps").arg(program.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray loaded = maps.readAll();
    for (const char *library : {"xcbglintegrations/", "libGLX_mesa", "_dri.so"}) {
        if (loaded.contains(library)) {
            program.kill();
            program.waitForFinished(5000);
            QFAIL(library);
        }
    }
    use(window);
    if (QTest::currentTestFailed()) {
        program.kill();
        program.waitForFinished(5000);
        return;
    }

    if (close == Close::FileQuit) {
        // No window manager here, so focus the window by hand; then Alt+F, Q as a user would.
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)});
        xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100"),
                 QStringLiteral("alt+f")});
        QTest::qWait(300);
        xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100"),
                 QStringLiteral("q")});
    } else {
        QVERIFY(sendDeleteWindow(m_display, window));
    }

    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished(5000);
        QFAIL("the program did not quit");
    }
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QStringList unexpected;
    for (const QString &line : QString::fromLocal8Bit(program.readAllStandardError()).split('\n'))
        if (!harmless(line))
            unexpected << line;
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1Char('\n'))));
}

void tst_Smoke::startsAndRemembersSize()
{
    QFETCH(Close, close);

    QTemporaryDir config;
    QVERIFY(config.isValid());
    const QString store = config.filePath(QStringLiteral("Norvane/Velotune.conf"));
    const QSize changed(500, 330);

    runOnce(config.path(), close, [&](unsigned long window) {
        QTRY_COMPARE_WITH_TIMEOUT(windowSize(window), QSize(322, 240), 10000);
        xdotool({QStringLiteral("windowsize"), QString::number(window),
                 QString::number(changed.width()), QString::number(changed.height())});
        QTRY_COMPARE_WITH_TIMEOUT(windowSize(window), changed, 10000);
    });
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(QFile::exists(store), qPrintable(store));

    runOnce(config.path(), close, [&](unsigned long window) {
        QTRY_COMPARE_WITH_TIMEOUT(windowSize(window), changed, 10000);
    });
}

void tst_Smoke::storedGeometryIsKeptOnScreen_data()
{
    QTest::addColumn<QRect>("stored");

    QTest::newRow("100000 x 100000") << QRect(0, 0, 100000, 100000);
    QTest::newRow("30000 x 30000") << QRect(0, 0, 30000, 30000);
    QTest::newRow("wider than the screen, at its right edge") << QRect(1000, 100, 2000, 300);
    QTest::newRow("far off screen") << QRect(50000, 50000, 400, 300);
}

// A damaged or foreign settings file must not keep the program from starting, or put its
// window out of reach: the screen here is 1280 x 1024.
void tst_Smoke::storedGeometryIsKeptOnScreen()
{
    QFETCH(QRect, stored);

    QTemporaryDir config;
    QVERIFY(config.isValid());
    {
        QSettings settings(config.filePath(QStringLiteral("Norvane/Velotune.conf")),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("geometry"), storedGeometry(stored));
    }
    const QRect screen(0, 0, 1280, 1024);
    runOnce(config.path(), Close::FileQuit, [&](unsigned long window) {
        QRect shown;
        QTRY_VERIFY_WITH_TIMEOUT((shown = windowRect(window)).isValid(), 10000);
        QVERIFY2(screen.contains(shown),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                    .arg(shown.x())
                                    .arg(shown.y())
                                    .arg(shown.width())
                                    .arg(shown.height())));
    });
}

QTEST_GUILESS_MAIN(tst_Smoke)
#include "tst_smoke.moc"
