#ifndef TESTUTILS_H
#define TESTUTILS_H

#include "simcontrol.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace testutils {

// Finds a named child, failing the calling test (via the returned null) when it is missing.
template<class T>
T *child(const QObject *parent, const char *name)
{
    T *object = parent->findChild<T *>(QString::fromLatin1(name));
    if (!object)
        qWarning("no child %s named %s", T::staticMetaObject.className(), name);
    return object;
}

// The store the program uses; tests run with XDG_CONFIG_HOME pointing at a scratch folder.
inline QSettings programSettings()
{
    return QSettings(QStringLiteral("Norvane"), QStringLiteral("Velotune"));
}

// Runs `handle` on the next modal widget that opens (the caller then blocks in exec()), so a
// test can look at a dialog and close it. Gives up after `timeoutMs`.
inline void onNextModal(std::function<void(QWidget *)> handle, int timeoutMs = 5000)
{
    // The application owns it, so a watch still running when a test ends goes with it.
    auto *timer = new QTimer(QCoreApplication::instance());
    auto waited = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, handle, timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        *waited += timer->interval();
        if (modal || *waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            if (modal)
                handle(modal);
        }
    });
    timer->start();
}

// A handler for the first modal widget that `matches`.
struct ModalStep
{
    std::function<bool(QWidget *)> matches;
    std::function<void(QWidget *)> handle;
};

// The step waiting now, how many are left, and a modal widget that no step awaited, so a test
// can tell that every dialog it expected did open, none of its steps outlives it, and nothing
// else opened.
inline QPointer<QTimer> &modalWaiting()
{
    static QPointer<QTimer> timer;
    return timer;
}
inline int &modalStepsLeft()
{
    static int left = 0;
    return left;
}
inline QString &unexpectedModal()
{
    static QString name;
    return name;
}

inline QString describeModal(const QWidget *modal)
{
    QString text = QString::fromLatin1(modal->metaObject()->className());
    if (!modal->objectName().isEmpty())
        text += QLatin1Char(' ') + modal->objectName();
    return text + QStringLiteral(" \"") + modal->windowTitle() + QLatin1Char('"');
}

// Handles the modal widgets that open next, one step each, in order. A step is armed once the
// one before it has run, and waits for a visible modal widget of its own kind, so a dialog
// that is closing is never taken for the next one. A modal widget of another kind that stays
// open is closed and named in unexpectedModal(): the test fails at once instead of blocking in
// its exec(). Gives up after 10 s.
inline void onModals(std::vector<ModalStep> steps)
{
    modalStepsLeft() = int(steps.size());
    // Once every step has run, none matches: any modal widget that stays open is unexpected.
    const ModalStep first
            = steps.empty() ? ModalStep{[](QWidget *) { return false; }, nullptr} : steps.front();
    const bool last = steps.empty();
    if (!last)
        steps.erase(steps.begin());
    // The application owns it, so a watch still running when a test ends goes with it.
    auto *timer = new QTimer(QCoreApplication::instance());
    modalWaiting() = timer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    // How long the same other modal widget has been seen.
    auto other = std::make_shared<std::pair<QPointer<QWidget>, int>>();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, started, first, steps, other, last] {
        QWidget *modal = QApplication::activeModalWidget();
        const bool visible = modal != nullptr && modal->isVisible();
        const bool found = visible && first.matches(modal);
        if (visible && !found) {
            // A dialog that is only closing is gone within a few turns of the event loop.
            other->second = other->first == modal ? other->second + 1 : 0;
            other->first = modal;
            if (other->second >= 25) {
                timer->stop();
                timer->deleteLater();
                unexpectedModal() = describeModal(modal);
                modal->close();
                return;
            }
        }
        if (!found && (last || started->elapsed() < 10000))
            return;
        timer->stop();
        timer->deleteLater();
        if (found) {
            onModals(steps);
            first.handle(modal);
        }
    });
    timer->start();
}

// Types into a cell's editor and finishes with Return, as a user does.
inline void typeIntoCell(QAbstractItemView *view, int row, int column, const QString &typed)
{
    view->setCurrentIndex(view->model()->index(row, column));
    QTest::keyClick(view, Qt::Key_F2);
    auto *editor = qobject_cast<QSpinBox *>(QApplication::focusWidget());
    if (editor == nullptr)
        editor = view->findChild<QSpinBox *>();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, typed);
    QTest::keyClick(editor, Qt::Key_Return);
    // The view commits a finished edit once its events are handled.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// A new window of type W, shown and exposed; null when it never shows.
template<class W>
W *showNew()
{
    auto *window = new W;
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) {
        delete window;
        return nullptr;
    }
    return window;
}

inline bool showAndActivate(QWidget *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// The simulator's call log as text, read and cleared by take(). The index of the system that
// was opened last is written as H, so expectations do not depend on the simulator's numbering;
// a call with any other index shows its number (and the simulator fails it).
class CallLog
{
public:
    QStringList take(bool withStatusInfo = true)
    {
        QStringList calls;
        bool opened = false;
        for (const nexilsim::Call &call : nexilsim::callLog()) {
            std::vector<std::string> args = call.args;
            const bool indexed = call.function != "TQ_FindSystems"
                    && call.function != "TQ_OpenSystem" && call.function != "TQ_EPK"
                    && call.function != "TQ_GetStatusInfo";
            if (indexed && opened && !args.empty())
                m_handle = args.front();
            opened = call.function == "TQ_OpenSystem" && call.result == 0;
            if (indexed && !args.empty() && args.front() == m_handle)
                args.front() = "H";
            if (!withStatusInfo && call.function == "TQ_GetStatusInfo")
                continue;
            QStringList joined;
            for (const std::string &arg : args)
                joined << QString::fromStdString(arg);
            calls << QStringLiteral("%1(%2)=%3")
                             .arg(QString::fromStdString(call.function),
                                  joined.join(QLatin1Char(',')), QString::number(call.result));
        }
        nexilsim::clearCallLog();
        return calls;
    }

private:
    std::string m_handle;
};

// One channel of a simulated fleet, as the simulator's configuration reads it.
struct SimChannel
{
    int type = 0;
    int sensorType = 1;
    quint32 speed = 5000;
    quint32 acceleration = 700;
    const char *lowVibration = "off";
    bool holding = false;
    quint32 speedMax = 100000000;

    std::string json() const
    {
        return QStringLiteral("{\"type\":%1,\"sensorType\":%2,\"speed\":%3,\"acceleration\":%4,"
                              "\"lowVibration\":\"%5\",\"holding\":%6,\"speedRange\":[0,%7]}")
                .arg(type)
                .arg(sensorType)
                .arg(speed)
                .arg(acceleration)
                .arg(QLatin1String(lowVibration), QLatin1String(holding ? "true" : "false"))
                .arg(speedMax)
                .toStdString();
    }
};

struct SimSystem
{
    std::string locator;
    std::vector<SimChannel> channels;
    bool listed = true;
};

// The simulator's configuration of the given fleet.
inline std::string fleetJson(const std::vector<SimSystem> &systems)
{
    std::string json = "{\"systems\":[";
    for (size_t i = 0; i < systems.size(); ++i) {
        const SimSystem &system = systems[i];
        json += (i ? ",{" : "{") + std::string("\"locator\":\"") + system.locator
                + "\",\"listed\":" + (system.listed ? "true" : "false") + ",\"channels\":[";
        for (size_t c = 0; c < system.channels.size(); ++c)
            json += (c ? "," : "") + system.channels[c].json();
        json += "]}";
    }
    json += "]}";
    return json;
}

// Makes the simulator answer `value` from the named getters, whatever the channel holds.
inline void forceValue(const std::vector<std::string> &functions, uint32_t value)
{
    nexilsim::setValueHook([functions, value](const std::string &function, uint32_t *out) {
        if (std::find(functions.begin(), functions.end(), function) == functions.end())
            return false;
        *out = value;
        return true;
    });
}

// Loads the given fleet into the simulator; fails the calling test when it is refused.
inline bool loadFleet(const std::vector<SimSystem> &systems)
{
    return nexilsim::loadFleet(fleetJson(systems)) == 0;
}

// The main window's controls a user works with, found by object name.
struct MainWidgets
{
    explicit MainWidgets(const QWidget *window)
        : connect(child<QPushButton>(window, "pbConnect")),
          locator(child<QComboBox>(window, "cbLocator")),
          refresh(child<QPushButton>(window, "pbRefresh")),
          channel(child<QSpinBox>(window, "sbChannelIndex")),
          group(child<QGroupBox>(window, "gbConfiguration")),
          speedLabel(child<QLabel>(window, "lSpeed")),
          speed(child<QSpinBox>(window, "sbSpeed")),
          accelerationLabel(child<QLabel>(window, "lAcceleration")),
          acceleration(child<QSpinBox>(window, "sbAcceleration")),
          lowVibrationLabel(child<QLabel>(window, "lLowVibration")),
          lowVibration(child<QPushButton>(window, "pbLowVibration")),
          status(child<QStatusBar>(window, "statusBar"))
    { }

    bool complete() const
    {
        return connect && locator && refresh && channel && group && speedLabel && speed
                && accelerationLabel && acceleration && lowVibrationLabel && lowVibration && status;
    }

    // Both Low Vibration widgets enabled in their own right (the group may disable them too).
    bool lowVibrationOwnEnabled() const
    {
        return lowVibration->isEnabledTo(group) && lowVibrationLabel->isEnabledTo(group);
    }

    QPushButton *connect;
    QComboBox *locator;
    QPushButton *refresh;
    QSpinBox *channel;
    QGroupBox *group;
    QLabel *speedLabel;
    QSpinBox *speed;
    QLabel *accelerationLabel;
    QSpinBox *acceleration;
    QLabel *lowVibrationLabel;
    QPushButton *lowVibration;
    QStatusBar *status;
};

} // namespace testutils

#endif // TESTUTILS_H
