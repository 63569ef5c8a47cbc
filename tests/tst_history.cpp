// The history window: every status-bar line and every write the window sent, kept from the
// start of the session whether or not the window is open, bounded, copied and saved as text;
// also the writes of the channel overview and of a restore from a settings file.
// Runs once under an English and once under a German locale (see CMakeLists.txt).

#include "journal.h"
#include "testutils.h"
#include "velotune.h"

#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QThread>
#include <QTreeView>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

#include <sys/resource.h>

using testutils::child;
using testutils::SimChannel;

namespace {

const uint32_t injected = 7777;
const QString arrow = QString(QChar(0x2192));
const QString key = QStringLiteral("16908289");
const QString micro(QChar(0x00B5));
const QString degree(QChar(0x00B0));
const QString squared(QChar(0x00B2));

// The overview's columns.
enum Column { Speed = 3, Acceleration = 4, LowVibration = 5 };

// A settings file of the given channels, as velotune-cli saves one.
QByteArray snapshotOf(const std::vector<SimChannel> &channels)
{
    QStringList rows;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const SimChannel &c = channels[i];
        rows << (c.type != 0 ? QStringLiteral("{\"index\": %1, \"positioner\": false}").arg(i)
                             : QStringLiteral("{\"index\": %1, \"positioner\": true, "
                                              "\"sensorType\": %2, \"speed\": %3, "
                                              "\"acceleration\": %4, \"lowVibration\": \"%5\"}")
                                       .arg(i)
                                       .arg(c.sensorType)
                                       .arg(c.speed)
                                       .arg(c.acceleration)
                                       .arg(QLatin1String(c.lowVibration)));
    }
    return QStringLiteral("{\"format\": \"velotune-snapshot\", \"version\": 1, "
                          "\"locator\": \"usb:id:1001\", \"savedAt\": "
                          "\"2026-12-08T14:07:30Z\", \"program\": \"velotune-cli 1.2.7\", "
                          "\"channels\": [%1]}")
            .arg(rows.join(QStringLiteral(", ")))
            .toUtf8();
}

// The calls that change the controller.
QStringList changing(const QStringList &calls)
{
    return calls.filter(QRegularExpression(QStringLiteral("^TQ_(Set|Stop)")));
}

nexilsim::ChannelState simState(uint32_t index)
{
    nexilsim::ChannelState state{};
    if (!nexilsim::channelState("usb:id:1001", index, &state))
        qWarning("no channel %u", index);
    return state;
}

// Answers the modal dialogs as they open, one answer each, in turn.
class ModalAnswers : public QObject
{
public:
    explicit ModalAnswers(std::vector<std::function<void(QWidget *)>> answers)
        : m_answers(std::move(answers))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal == m_last || m_answers.empty())
                return;
            m_last = modal;
            const auto answer = m_answers.front();
            m_answers.erase(m_answers.begin());
            answer(modal);
        });
        m_timer.start(10);
    }
    bool allUsed() const { return m_answers.empty(); }

private:
    QTimer m_timer;
    QPointer<QWidget> m_last;
    std::vector<std::function<void(QWidget *)>> m_answers;
};

// Writes fail with EFBIG beyond `bytes` while it lives, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// The time input events carry, the same clock for all; never 0 ("none").
ulong eventTime()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return ulong(clock.elapsed() + 100000);
}

// One step up of the key held down, or of the wheel, made now.
QEvent *stepUp(bool wheel, QWidget *box, bool autoRepeat)
{
    QInputEvent *event = nullptr;
    if (wheel) {
        const QPoint centre = box->rect().center();
        event = new QWheelEvent(centre, box->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                                Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    } else {
        event = new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), autoRepeat);
    }
    event->setTimestamp(eventTime());
    return event;
}

QEvent *upReleased()
{
    auto *event = new QKeyEvent(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    event->setTimestamp(eventTime());
    return event;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<testutils::SimChannel>)

class tst_History : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void writes_data();
    void writes();
    void mergedStepsBefore_data();
    void mergedStepsBefore();
    void statusMessages_data();
    void statusMessages();
    void bounded_data();
    void bounded();
    void copy_data();
    void copy();
    void save_data();
    void save();
    void rangeInToolTip_data();
    void rangeInToolTip();
    void openHistoryDoesNotKeepTheProgram();
    void writesFromOverview_data();
    void writesFromOverview();
    void writesFromRestore_data();
    void writesFromRestore();
    void acrossReconnect_data();
    void acrossReconnect();
    void journalView();
    void journalState();

private:
    void connectLink();
    QTreeView *openHistory();
    QTableView *openOverview();
    // An edit in the overview's cell: typed and Return, or Space on the Low Vibration cell.
    void editInOverview(QTableView *view, int row, int column, const QString &typed);
    // The view's rows as the user reads them: time, kind and text joined by tabs.
    QStringList shownRows();
    QStringList shownTexts(const QString &kind);
    void refuseTyped(const QString &text);

    Velotune *m_window = nullptr;
    testutils::CallLog m_calls;
    std::unique_ptr<testutils::MainWidgets> m_ui;
};

void tst_History::init()
{
    testutils::programSettings().clear();
    // 0: linear, free; 1: angular, on; 2: holding position; 3: not a positioner.
    QVERIFY(testutils::loadFleet(
            {{"usb:id:1001",
              {SimChannel{0, 1, 5000, 700, "off"}, SimChannel{0, 2, 80000, 9000, "on"},
               SimChannel{0, 1, 5000, 700, "off", true}, SimChannel{1, 1, 5000, 700, "off"}}}}));
    nexilsim::setStatusText(injected, "Injected failure");
    m_window = testutils::showNew<Velotune>();
    QVERIFY(m_window);
    m_ui = std::make_unique<testutils::MainWidgets>(m_window);
    QVERIFY(m_ui->complete());
}

void tst_History::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_calls.take();
}

void tst_History::connectLink()
{
    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    QVERIFY(m_ui->channel->isEnabled());
    m_calls.take();
}

QTreeView *tst_History::openHistory()
{
    auto *action = child<QAction>(m_window, "aHistory");
    if (action == nullptr)
        return nullptr;
    action->trigger();
    auto *history = child<QWidget>(m_window, "History");
    if (history == nullptr || !history->isVisible() || !history->isWindow())
        return nullptr;
    return child<QTreeView>(history, "tvHistory");
}

QTableView *tst_History::openOverview()
{
    auto *action = child<QAction>(m_window, "aChannels");
    if (action == nullptr)
        return nullptr;
    action->trigger();
    auto *overview = child<QWidget>(m_window, "ChannelOverview");
    if (overview == nullptr)
        return nullptr;
    // Its editors need it to be the active window, as a window manager makes it.
    QApplication::setActiveWindow(overview);
    if (!QTest::qWaitForWindowActive(overview))
        return nullptr;
    return child<QTableView>(overview, "tvChannels");
}

void tst_History::editInOverview(QTableView *view, int row, int column, const QString &typed)
{
    if (typed.isEmpty()) {
        view->setCurrentIndex(view->model()->index(row, column));
        QTest::keyClick(view, Qt::Key_Space);
        return;
    }
    testutils::typeIntoCell(view, row, column, typed);
}

QStringList tst_History::shownRows()
{
    QTreeView *view = openHistory();
    if (view == nullptr)
        return {};
    QStringList rows;
    const QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        rows << cells.join(QLatin1Char('\t'));
    }
    return rows;
}

QStringList tst_History::shownTexts(const QString &kind)
{
    QStringList texts;
    for (const QString &row : shownRows()) {
        const QStringList cells = row.split(QLatin1Char('\t'));
        if (cells.size() == 5 && cells[1] == kind)
            texts << cells[4];
    }
    return texts;
}

void tst_History::refuseTyped(const QString &text)
{
    m_ui->speed->setFocus();
    QTest::keyClick(m_ui->speed, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(m_ui->speed, text);
    QTest::keyClick(m_ui->speed, Qt::Key_Return);
}

void tst_History::writes_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed"); // else one Up step, or a click on the button
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("stored");

    QTest::newRow("speed refused")
            << 0 << "sbSpeed"
            << ""
            << "TQ_SetClosedLoopMoveSpeed_S"
            << "Channel 0: speed 5.000 " + arrow + " 5.001 nm/sec: FAILED: %1"
            << "Could not set speed value. Error: 7777 (Injected failure)" << 5000;
    QTest::newRow("speed taken") << 0 << "sbSpeed"
                                 << ""
                                 << ""
                                 << "Channel 0: speed 5.000 " + arrow + " 5.001 nm/sec: written"
                                 << "" << 5001;
    QTest::newRow("acceleration refused, angular")
            << 1 << "sbAcceleration"
            << ""
            << "TQ_SetClosedLoopMoveAcceleration_S"
            << "Channel 1: acceleration 9.000 " + arrow + " 9.001 m" + degree + "/sec" + squared
                    + ": FAILED: %1"
            << "Could not set acceleration value. Error: 7777 (Injected failure)" << 9000;
    QTest::newRow("acceleration typed and taken") << 0 << "sbAcceleration"
                                                  << "1234567"
                                                  << ""
                                                  << "Channel 0: acceleration 700 " + arrow
                    + " 1.234.567 " + micro + "m/sec" + squared + ": written"
                                                  << "" << 1234567;
    QTest::newRow("angular speed typed and taken")
            << 1 << "sbSpeed"
            << "90000"
            << ""
            << "Channel 1: speed 80.000 " + arrow + " 90.000 " + micro + degree + "/sec: written"
            << "" << 90000;
    QTest::newRow("Low Vibration stop refused")
            << 2 << "pbLowVibration"
            << ""
            << ""
            << "Channel 2: Low Vibration Mode off " + arrow + " on: FAILED: %1"
            << "Could not set Low Vibration Mode (Axis holding position?). Error: 156 (Channel "
               "is holding position)"
            << 0;
    QTest::newRow("Low Vibration property refused")
            << 1 << "pbLowVibration"
            << ""
            << "TQ_SetChannelProperty_S"
            << "Channel 1: Low Vibration Mode on " + arrow + " off: FAILED: %1"
            << "Could not set Low Vibration Mode. Error: 7777 (Injected failure)" << 1;
    QTest::newRow("Low Vibration taken")
            << 0 << "pbLowVibration"
            << ""
            << ""
            << "Channel 0: Low Vibration Mode off " + arrow + " on: written"
            << "" << 1;
}

void tst_History::writes()
{
    QFETCH(int, channel);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, failing);
    QFETCH(QString, entry);
    QFETCH(QString, message);
    QFETCH(int, stored);

    connectLink();
    m_ui->channel->setValue(channel);
    m_calls.take();
    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    if (field == QLatin1String("pbLowVibration")) {
        QTest::mouseClick(m_ui->lowVibration, Qt::LeftButton);
    } else {
        auto *box = m_window->findChild<QSpinBox *>(field);
        box->setFocus();
        if (typed.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Up);
        } else {
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(box, typed);
            QTest::keyClick(box, Qt::Key_Return);
        }
    }

    // What the status bar says is what the history says of the write.
    QCOMPARE(m_window->statusBar()->currentMessage(), message);
    const QStringList written = shownTexts(QStringLiteral("Write"));
    QCOMPARE(written, QStringList(message.isEmpty() ? entry : entry.arg(message)));
    // The library was asked once for the text of the refusal.
    const QStringList calls = m_calls.take();
    QCOMPARE(calls.filter(QStringLiteral("TQ_GetStatusInfo")).size(), message.isEmpty() ? 0 : 1);
    const nexilsim::ChannelState state = simState(uint32_t(channel));
    const uint32_t held = field == QLatin1String("sbSpeed") ? state.speed
            : field == QLatin1String("sbAcceleration")      ? state.acceleration
                                                            : uint32_t(state.lowVibration);
    QCOMPARE(int(held), stored);
    // A refusal is a status message too.
    if (!message.isEmpty())
        QCOMPARE(shownTexts(QStringLiteral("Message")).last(), message);
}

void tst_History::mergedStepsBefore_data()
{
    QTest::addColumn<bool>("wheel");
    QTest::addColumn<int>("count");

    QTest::newRow("Up held while the write waits") << false << 4;
    QTest::newRow("wheel notches while the write waits") << true << 3;
}

// Steps made while a write waits on a slow link are merged into one write, whose old value is
// what the controller held after the write before, not the last step shown.
void tst_History::mergedStepsBefore()
{
    QFETCH(bool, wheel);
    QFETCH(int, count);

    connectLink();
    QVERIFY(testutils::showAndActivate(m_window));
    m_ui->speed->setFocus();
    QTRY_VERIFY(m_ui->speed->hasFocus());
    bool posted = false;
    nexilsim::setFaultHook([&](const std::string &function) -> uint32_t {
        if (!posted && function == "TQ_SetClosedLoopMoveSpeed_S") {
            posted = true;
            QThread::msleep(50);
            for (int i = 0; i < count; ++i)
                QCoreApplication::postEvent(m_ui->speed, stepUp(wheel, m_ui->speed, true));
            if (!wheel)
                QCoreApplication::postEvent(m_ui->speed, upReleased());
            QThread::msleep(50);
        }
        return 0;
    });
    std::unique_ptr<QEvent> first(stepUp(wheel, m_ui->speed, false));
    QApplication::sendEvent(m_ui->speed, first.get());
    if (!wheel) {
        std::unique_ptr<QEvent> release(upReleased());
        QApplication::sendEvent(m_ui->speed, release.get());
    }
    QTest::qWait(300);
    nexilsim::clearFaults();

    const QStringList written
            = m_calls.take(false).filter(QStringLiteral("TQ_SetClosedLoopMoveSpeed_S"));
    QCOMPARE(written.size(), 2);
    // The key's own repeat may add a step: what was merged is what reached the controller.
    const uint32_t merged = simState(0).speed;
    QVERIFY(merged >= 5001u + uint32_t(count));
    QCOMPARE(written.last(), QStringLiteral("TQ_SetClosedLoopMoveSpeed_S(H,0,%1)=0").arg(merged));
    const QString entry = "Channel 0: speed %1 " + arrow + " %2 nm/sec: written";
    QCOMPARE(shownTexts(QStringLiteral("Write")),
             QStringList({entry.arg("5.000", "5.001"),
                          entry.arg("5.001", QLocale(QLocale::German).toString(merged))}));
}

void tst_History::statusMessages_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("message"); // "" where the library's own text is part of it
    QTest::addColumn<QString>("startsWith");
    QTest::addColumn<int>("count");

    QTest::newRow("failed connect") << "connect unknown"
                                    << ""
                                    << "Could not connect to Nexil. Error: " << 1;
    QTest::newRow("release") << "release"
                             << "Device usb:id:1001 released."
                             << "" << 1;
    QTest::newRow("refused typed value") << "typed"
                                         << ""
                                         << "" << 1;
    QTest::newRow("the same refusal twice: two entries") << "typed twice"
                                                         << ""
                                                         << "" << 2;
    QTest::newRow("not a positioner") << "channel 3"
                                      << "This programm works only with positioners channels!"
                                      << "" << 1;
    // Said again while the form stays on the channel: still one entry.
    QTest::newRow("not a positioner, released and connected again")
            << "channel 3 again"
            << "This programm works only with positioners channels!"
            << "" << 1;
    QTest::newRow("Escape after a refused entry, then elsewhere") << "typed escape"
                                                                  << ""
                                                                  << "" << 1;
}

void tst_History::statusMessages()
{
    QFETCH(QString, action);
    QFETCH(QString, message);
    QFETCH(QString, startsWith);
    QFETCH(int, count);

    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    if (action == QLatin1String("connect unknown")) {
        m_ui->locator->setCurrentText(QStringLiteral("usb:id:99"));
        QTest::mouseClick(m_ui->connect, Qt::LeftButton);
        QVERIFY(!m_ui->connect->isChecked());
    } else if (action == QLatin1String("release")) {
        connectLink();
        QTest::mouseClick(m_ui->connect, Qt::LeftButton);
        QVERIFY(!m_ui->channel->isEnabled());
    } else if (action.startsWith(QLatin1String("typed"))) {
        connectLink();
        refuseTyped(QStringLiteral("12x"));
        if (action.endsWith(QLatin1String("escape"))) {
            QTest::keyClick(m_ui->speed, Qt::Key_Escape);
            m_ui->channel->setFocus();
        }
        if (action.endsWith(QLatin1String("twice")))
            refuseTyped(QStringLiteral("12x"));
    } else {
        connectLink();
        m_ui->channel->setValue(3);
        if (action.endsWith(QLatin1String("again"))) {
            QTest::mouseClick(m_ui->connect, Qt::LeftButton);
            QTest::mouseClick(m_ui->connect, Qt::LeftButton);
        }
        QVERIFY(!m_ui->group->isEnabled());
    }
    const QString shown = m_window->statusBar()->currentMessage();
    QVERIFY(!shown.isEmpty());
    if (!message.isEmpty())
        QCOMPARE(shown, message);
    QVERIFY2(shown.startsWith(startsWith), qPrintable(shown));

    // The history window was never open while this happened.
    QVERIFY(!m_window->findChild<QWidget *>(QStringLiteral("History")));
    const QStringList rows = shownRows();
    QStringList matching;
    for (const QString &row : rows)
        if (row.endsWith(QLatin1String("\tMessage\t\t\t") + shown))
            matching << row;
    QCOMPARE(matching.size(), count);
    // A reconnect's own entries come after it.
    if (!action.endsWith(QLatin1String("again")))
        QCOMPARE(rows.last(), matching.last());
    // Shown in local time, to the millisecond.
    const QDateTime time = QDateTime::fromString(matching.last().section(QLatin1Char('\t'), 0, 0),
                                                 QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    QVERIFY(time.isValid());
    QVERIFY(time >= started && time <= QDateTime::currentDateTime());
    // The status bar is as it was: the message goes after 2 s, or stays for the refusal.
    if (action.startsWith(QLatin1String("channel 3"))) {
        QTest::qWait(2500);
        QCOMPARE(m_window->statusBar()->currentMessage(), shown);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(m_window->statusBar()->currentMessage(), QString(), 3000);
    }
}

void tst_History::bounded_data()
{
    QTest::addColumn<int>("more"); // entries beyond the bound
    QTest::addColumn<bool>("openFirst");

    QTest::newRow("exactly full, window open") << 0 << true;
    QTest::newRow("one more, window open") << 1 << true;
    QTest::newRow("five more, window opened afterwards") << 5 << false;
}

void tst_History::bounded()
{
    QFETCH(int, more);
    QFETCH(bool, openFirst);

    connectLink();
    QTreeView *view = openFirst ? openHistory() : nullptr;
    if (openFirst)
        QVERIFY(view);
    // Each refusal the box reports is one entry.
    const int bound = 10000;
    for (int made = 0; made < bound + more; ++made)
        QMetaObject::invokeMethod(m_ui->speed, "refused", Qt::DirectConnection,
                                  Q_ARG(QString, QStringLiteral("refusal %1").arg(made)));
    if (!openFirst)
        view = openHistory();
    QVERIFY(view);
    const QAbstractItemModel *model = view->model();
    QCOMPARE(model->rowCount(), bound);
    QCOMPARE(model->index(0, 4).data().toString(), QStringLiteral("refusal %1").arg(more));
    QCOMPARE(model->index(bound - 1, 4).data().toString(),
             QStringLiteral("refusal %1").arg(bound + more - 1));
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("refusal %1").arg(bound + more - 1));
    // The newest entry is in sight.
    QApplication::processEvents();
    const QRect newest = view->visualRect(model->index(bound - 1, 4));
    QVERIFY(view->viewport()->rect().intersects(newest));
}

void tst_History::copy_data()
{
    QTest::addColumn<QList<int>>("selected");

    QTest::newRow("nothing selected: all") << QList<int>();
    QTest::newRow("one row") << QList<int>{1};
    QTest::newRow("two rows, picked in reverse") << QList<int>{2, 0};
}

void tst_History::copy()
{
    QFETCH(QList<int>, selected);

    connectLink();
    refuseTyped(QStringLiteral("1x"));
    QTest::keyClick(m_ui->speed, Qt::Key_Up);
    m_ui->channel->setValue(3);
    QTreeView *view = openHistory();
    QVERIFY(view);
    const QStringList rows = shownRows();
    QCOMPARE(rows.size(), 4);

    QStringList expected;
    if (selected.isEmpty()) {
        expected = rows;
    } else {
        for (int row : selected)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QList<int> inOrder = selected;
        std::sort(inOrder.begin(), inOrder.end());
        for (int row : inOrder)
            expected << rows[row];
    }
    QApplication::clipboard()->clear();
    QTest::mouseClick(child<QPushButton>(view->window(), "pbCopy"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), expected.join(QLatin1Char('\n')) + '\n');

    // Ctrl+C in the list copies the same.
    QApplication::clipboard()->clear();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), expected.join(QLatin1Char('\n')) + '\n');
}

void tst_History::save_data()
{
    QTest::addColumn<QString>("target");    // in a scratch folder
    QTest::addColumn<QByteArray>("before"); // the target's content; "<dir>" for a folder
    QTest::addColumn<int>("sizeLimit");     // bytes a file may have while saving; 0: none
    QTest::addColumn<bool>("saved");

    QTest::newRow("new file") << "history.txt" << QByteArray() << 0 << true;
    QTest::newRow("existing file replaced") << "history.txt" << QByteArray("old\n") << 0 << true;
    QTest::newRow("folder refused") << "folder.txt" << QByteArray("<dir>") << 0 << false;
    QTest::newRow("a name without suffix gets .txt") << "history" << QByteArray() << 0 << true;
    QTest::newRow("failed write keeps the existing file")
            << "history.txt" << QByteArray("keep me\n") << 64 << false;
    // Shown as it is: neither large red text nor a second line.
    QTest::newRow("folder named with markup and a line break")
            << "<font color=red size=7>Saved OK\n.txt" << QByteArray("<dir>") << 0 << false;
}

void tst_History::save()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, before);
    QFETCH(int, sizeLimit);
    QFETCH(bool, saved);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString typed = dir.filePath(target);
    const QString savedAs = QFileInfo(target).suffix().isEmpty() ? target + ".txt" : target;
    const QString path = dir.filePath(savedAs);
    if (before == "<dir>") {
        QVERIFY(QDir(dir.path()).mkdir(target));
    } else if (!before.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }

    connectLink();
    refuseTyped(QStringLiteral("1x"));
    QTest::keyClick(m_ui->speed, Qt::Key_Up);
    QTreeView *view = openHistory();
    QVERIFY(view);
    const QStringList rows = shownRows();
    QCOMPARE(rows.size(), 3);

    QString warning;
    std::vector<std::function<void(QWidget *)>> answers{[&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        // Typed in full, as a user may: the list's own choice follows the folder it shows.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(typed);
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
    }};
    if (!saved)
        answers.push_back([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            QCOMPARE(box->textFormat(), Qt::PlainText);
            warning = box->text();
            box->accept();
        });
    ModalAnswers answer(answers);
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (sizeLimit > 0)
            limit = std::make_unique<FileSizeLimit>(rlim_t(sizeLimit));
        QTest::mouseClick(child<QPushButton>(view->window(), "pbSave"), Qt::LeftButton);
    }
    QVERIFY(answer.allUsed());

    if (saved) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), rows.join(QLatin1Char('\n')) + '\n');
    } else {
        QVERIFY2(warning.startsWith(QLatin1String("The history was not saved. ")
                                    + QString(path).replace(QLatin1Char('\n'), "\\n")),
                 qPrintable(warning));
        if (before == "<dir>") {
            QVERIFY(QFileInfo(path).isDir());
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), before);
        }
    }
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList(savedAs));
}

void tst_History::rangeInToolTip_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("range");

    QTest::newRow("speed") << "sbSpeed"
                           << "Range: 0 to 100.000.000";
    QTest::newRow("acceleration") << "sbAcceleration"
                                  << "Range: 0 to 10.000.000";
}

void tst_History::rangeInToolTip()
{
    QFETCH(QString, field);
    QFETCH(QString, range);

    auto *box = m_window->findChild<QSpinBox *>(field);
    QVERIFY(box);
    QTextDocument document;
    document.setHtml(box->toolTip());
    const QStringList lines = document.toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.first().endsWith(
            QLatin1String("Changes are trasmitted directly to the channel.")));
    QCOMPARE(lines.last(), range);
}

// Quitting the main window ends the program even while the history is open.
void tst_History::openHistoryDoesNotKeepTheProgram()
{
    QVERIFY(openHistory());
    QTimer::singleShot(0, m_window, &QWidget::close);
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    giveUp.start(3000);
    QCOMPARE(QApplication::exec(), 0);
}

void tst_History::writesFromOverview_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed"); // empty: Space on the Low Vibration cell
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<quint32>("held");

    // The form stays on channel 0 throughout.
    QTest::newRow("speed of a channel not the form's")
            << 1 << int(Speed) << "90000"
            << "" << QStringList{"TQ_SetClosedLoopMoveSpeed_S(H,1,90000)=0"}
            << "Channel 1: speed 80.000 " + arrow + " 90.000 " + micro + degree + "/sec: written"
            << 90000U;
    QTest::newRow("acceleration refused, a channel not the form's")
            << 1 << int(Acceleration) << "9500"
            << "TQ_SetClosedLoopMoveAcceleration_S"
            << QStringList{"TQ_SetClosedLoopMoveAcceleration_S(H,1,9500)=7777"}
            << "Channel 1: acceleration 9.000 " + arrow + " 9.500 m" + degree + "/sec" + squared
                    + ": FAILED: Could not set acceleration value. Error: 7777 (Injected failure)"
            << 9000U;
    QTest::newRow("acceleration of the form's channel")
            << 0 << int(Acceleration) << "1234"
            << "" << QStringList{"TQ_SetClosedLoopMoveAcceleration_S(H,0,1234)=0"}
            << "Channel 0: acceleration 700 " + arrow + " 1.234 " + micro + "m/sec" + squared
                    + ": written"
            << 1234U;
    QTest::newRow("Low Vibration of a channel not the form's")
            << 1 << int(LowVibration) << ""
            << "" << QStringList{"TQ_Stop_S(H,1)=0", "TQ_SetChannelProperty_S(H,1," + key + ",0)=0"}
            << "Channel 1: Low Vibration Mode on " + arrow + " off: written" << 0U;
    QTest::newRow("Low Vibration of a channel holding position")
            << 2 << int(LowVibration) << ""
            << "" << QStringList{"TQ_Stop_S(H,2)=156"}
            << "Channel 2: Low Vibration Mode off " + arrow
                    + " on: FAILED: Could not set Low Vibration Mode (Axis holding position?). "
                      "Error: 156 (Channel is holding position)"
            << 0U;
}

void tst_History::writesFromOverview()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, failing);
    QFETCH(QStringList, sent);
    QFETCH(QString, entry);
    QFETCH(quint32, held);

    connectLink();
    QTableView *view = openOverview();
    QVERIFY(view);
    m_calls.take();
    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    editInOverview(view, row, column, typed);

    QCOMPARE(changing(m_calls.take()), sent);
    QCOMPARE(shownTexts(QStringLiteral("Write")), QStringList(entry));
    const nexilsim::ChannelState state = simState(uint32_t(row));
    QCOMPARE(column == Speed                  ? state.speed
                     : column == Acceleration ? state.acceleration
                                              : quint32(state.lowVibration),
             held);
}

void tst_History::writesFromRestore_data()
{
    QTest::addColumn<std::vector<SimChannel>>("file");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("entries");

    // As the fleet of init(); the form stays on channel 0.
    const std::vector<SimChannel> now
            = {SimChannel{0, 1, 5000, 700, "off"}, SimChannel{0, 2, 80000, 9000, "on"},
               SimChannel{0, 1, 5000, 700, "off", true}, SimChannel{1, 1, 5000, 700, "off"}};

    std::vector<SimChannel> file = now;
    file[1].speed = 90000;
    QTest::newRow("a channel not the form's")
            << file << "" << QStringList{"TQ_SetClosedLoopMoveSpeed_S(H,1,90000)=0"}
            << QStringList{"Channel 1: speed 80.000 " + arrow + " 90.000 " + micro + degree
                           + "/sec: written"};

    file = now;
    file[0].acceleration = 800;
    file[1].acceleration = 9500;
    file[1].lowVibration = "off";
    QTest::newRow("three fields of two channels")
            << file << ""
            << QStringList{"TQ_SetClosedLoopMoveAcceleration_S(H,0,800)=0",
                           "TQ_SetClosedLoopMoveAcceleration_S(H,1,9500)=0", "TQ_Stop_S(H,1)=0",
                           "TQ_SetChannelProperty_S(H,1," + key + ",0)=0"}
            << QStringList{"Channel 0: acceleration 700 " + arrow + " 800 " + micro + "m/sec"
                                   + squared + ": written",
                           "Channel 1: acceleration 9.000 " + arrow + " 9.500 m" + degree + "/sec"
                                   + squared + ": written",
                           "Channel 1: Low Vibration Mode on " + arrow + " off: written"};

    file = now;
    file[1].speed = 90000;
    file[1].acceleration = 9500;
    QTest::newRow("a refused write, the next one still sent")
            << file << "TQ_SetClosedLoopMoveSpeed_S"
            << QStringList{"TQ_SetClosedLoopMoveSpeed_S(H,1,90000)=7777",
                           "TQ_SetClosedLoopMoveAcceleration_S(H,1,9500)=0"}
            << QStringList{"Channel 1: speed 80.000 " + arrow + " 90.000 " + micro + degree
                                   + "/sec: FAILED: Could not set speed value. Error: 7777 "
                                     "(Injected failure)",
                           "Channel 1: acceleration 9.000 " + arrow + " 9.500 m" + degree + "/sec"
                                   + squared + ": written"};

    file = now;
    file[2].lowVibration = "on";
    QTest::newRow("Low Vibration of a channel holding position")
            << file << "" << QStringList{"TQ_Stop_S(H,2)=156"}
            << QStringList{"Channel 2: Low Vibration Mode off " + arrow
                           + " on: FAILED: Could not set Low Vibration Mode (Axis holding "
                             "position?). Error: 156 (Channel is holding position)"};
}

void tst_History::writesFromRestore()
{
    QFETCH(std::vector<SimChannel>, file);
    QFETCH(QString, failing);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, entries);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("bench.json"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(out.write(snapshotOf(file)) > 0);
    out.close();

    connectLink();
    if (!failing.isEmpty())
        nexilsim::failNext(failing.toStdString(), injected);
    bool restored = false;
    ModalAnswers answers(
            {[&path](QWidget *modal) {
                 auto *name = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                 if (name == nullptr) {
                     modal->close();
                     return;
                 }
                 name->setText(path);
                 QTest::keyClick(name, Qt::Key_Return);
             },
             [&restored](QWidget *modal) {
                 auto *box = modal->findChild<QDialogButtonBox *>();
                 for (QAbstractButton *button : box ? box->buttons() : QList<QAbstractButton *>()) {
                     if (button->text().remove(QLatin1Char('&')) == QLatin1String("Restore")) {
                         restored = true;
                         button->click();
                         break;
                     }
                 }
                 modal->close();
             }});
    child<QAction>(m_window, "aRestoreSettings")->trigger();
    QVERIFY(answers.allUsed());
    QVERIFY(restored);

    QCOMPARE(changing(m_calls.take()), sent);
    QCOMPARE(shownTexts(QStringLiteral("Write")), entries);
}

void tst_History::acrossReconnect_data()
{
    QTest::addColumn<bool>("reconnect");
    QTest::addColumn<int>("rows");

    QTest::newRow("release") << false << 0;
    QTest::newRow("release and connect again") << true << 4;
}

void tst_History::acrossReconnect()
{
    QFETCH(bool, reconnect);
    QFETCH(int, rows);

    connectLink();
    QTableView *view = openOverview();
    QVERIFY(view);
    editInOverview(view, 1, Speed, QStringLiteral("90000"));
    const QString first
            = "Channel 1: speed 80.000 " + arrow + " 90.000 " + micro + degree + "/sec: written";
    QCOMPARE(shownTexts(QStringLiteral("Write")), QStringList(first));

    QTest::mouseClick(m_ui->connect, Qt::LeftButton);
    QVERIFY(!m_ui->connect->isChecked());
    QCOMPARE(view->model()->rowCount(), 0);
    if (reconnect) {
        QTest::mouseClick(m_ui->connect, Qt::LeftButton);
        QVERIFY(m_ui->connect->isChecked());
    }
    QCOMPARE(view->model()->rowCount(), rows);
    // The session's history stays, the release among it.
    QCOMPARE(shownTexts(QStringLiteral("Write")), QStringList(first));
    QVERIFY(shownTexts(QStringLiteral("Message"))
                    .contains(QStringLiteral("Device usb:id:1001 released.")));
    if (!reconnect)
        return;

    // The new connection's rows show what the controller holds, and its writes start from it.
    QCOMPARE(view->model()->index(1, Speed).data().toString(), QStringLiteral("90.000"));
    m_calls.take();
    editInOverview(view, 1, Speed, QStringLiteral("91000"));
    QCOMPARE(changing(m_calls.take()), QStringList{"TQ_SetClosedLoopMoveSpeed_S(H,1,91000)=0"});
    QCOMPARE(shownTexts(QStringLiteral("Write")),
             QStringList({first,
                          "Channel 1: speed 90.000 " + arrow + " 91.000 " + micro + degree
                                  + "/sec: written"}));
}

// The window's and velotune-cli's lines in one journal: the window shows its own session with
// controller and source, the CLI's on Earlier, filters them, and saves the columns of log --csv.
void tst_History::journalView()
{
    const QString journal = QFile::decodeName(nexil::journal::state().file);
    // Earlier runs of this test left theirs.
    QVERIFY(QFile(journal).resize(0));
    connectLink();
    QTest::keyClick(m_ui->speed, Qt::Key_Up);
    const auto cli = [&](const QStringList &arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELOTUNE_JOURNAL"), journal);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELOTUNE_CLI), arguments);
        return process.waitForFinished(60000) && process.exitCode() == 0
                ? QString::fromUtf8(process.readAllStandardOutput())
                : QString();
    };
    QVERIFY(!cli({"set", "usb:id:31415926", "--channel", "0", "--speed", "1500000"}).isEmpty());

    QTreeView *view = openHistory();
    QVERIFY(view);
    QStringList rows = shownRows();
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[0].endsWith("\tConnect\tusb:id:1001\t\tConnected"), qPrintable(rows[0]));
    QVERIFY2(rows[1].contains("\tWrite\tusb:id:1001\tform\tChannel 0: "), qPrintable(rows[1]));

    const QStringList session = rows;
    QTest::mouseClick(child<QPushButton>(view->window(), "pbEarlier"), Qt::LeftButton);
    rows = shownRows();
    // The CLI's connect, write and release before this session's two entries, not again.
    QCOMPARE(rows.size(), 5);
    QVERIFY2(rows[1].contains("\tWrite\tusb:id:31415926\tcli set\tChannel 0: ")
                     && rows[1].contains(arrow + " 1.500.000 "),
             qPrintable(rows[1]));
    QCOMPARE(rows.mid(3), session);

    child<QLineEdit>(view->window(), "leFilter")->setText(QStringLiteral("CLI SET"));
    QCOMPARE(shownRows(), rows.mid(1, 1));

    QTemporaryDir dir;
    ModalAnswers answer({[&](QWidget *modal) {
        auto *name = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(dir.filePath(QStringLiteral("history")));
        static_cast<QDialog *>(modal)->done(QDialog::Accepted);
    }});
    QTest::mouseClick(child<QPushButton>(view->window(), "pbSaveCsv"), Qt::LeftButton);
    QVERIFY(answer.allUsed());
    QFile saved(dir.filePath(QStringLiteral("history.csv")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QStringList csv = QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
    // Every journaled entry, the message-free session included, as log --csv has them.
    QCOMPARE(csv.size(), 1 + 5);
    const QStringList logged
            = cli({"log", "--csv", "--source", "cli set"}).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(logged.size(), 2);
    QCOMPARE(csv.first(), logged.first());
    QVERIFY2(csv.contains(logged.last()), qPrintable(csv.join('\n') + "\n" + logged.last()));
}

// What the window says of the journal; run again with VELOTUNE_JOURNAL=off (CMakeLists.txt).
// The session's entries are there either way.
void tst_History::journalState()
{
    const bool off = qgetenv("VELOTUNE_JOURNAL") == "off";
    connectLink();
    QTest::keyClick(m_ui->speed, Qt::Key_Up);
    QTreeView *view = openHistory();
    QVERIFY(view);
    QCOMPARE(shownTexts(QStringLiteral("Write")).size(), 1);
    auto *label = child<QLabel>(view->window(), "lJournal");
    QVERIFY(label);
    const nexil::journal::Status status = nexil::journal::state();
    QCOMPARE(label->text(),
             off ? QStringLiteral("The journal is off: VELOTUNE_JOURNAL=off")
                 : QStringLiteral("Journal: ") + status.path);
    QTest::mouseClick(child<QPushButton>(view->window(), "pbEarlier"), Qt::LeftButton);
    QCOMPARE(label->text().endsWith("\nNo journal to show earlier entries from."), off);
    QCOMPARE(QFileInfo::exists(qEnvironmentVariable("XDG_STATE_HOME") + "/velotune/journal.jsonl"),
             !off);
}

QTEST_MAIN(tst_History)
#include "tst_history.moc"
