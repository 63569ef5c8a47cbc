// Long actions at 150 ms a call on a 6-channel controller: the longest time the main window
// went without a repaint while the overview filled and while a 6-field restore ran, the fill's
// time against its calls times the latency, and how many calls started after a Cancel click
// during a restore. bench/slowlink.py runs it beside the real program.
//
//     build/bench/bench_longactions
//
// The window system is played by a timer asking the main window to repaint every 20 ms, as
// exposes and a compositor do; a repaint can only happen when the action lets events through.
#include "simcontrol.h"
#include "snapshot.h"
#include "velotune.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int channels = 6;
constexpr uint32_t latencyUs = 150000;
const QString locator = QStringLiteral("usb:id:6006");

// Repaints of the watched window, on one clock.
class Repaints : public QObject
{
public:
    explicit Repaints(QWidget *window) : m_window(window)
    {
        window->installEventFilter(this);
        m_clock.start();
        m_ask.setInterval(20);
        QObject::connect(&m_ask, &QTimer::timeout, window, [window] { window->update(); });
        m_ask.start();
    }
    qint64 now() const { return m_clock.elapsed(); }
    // The longest stretch without a repaint between `from` and `to`.
    qint64 longestGap(qint64 from, qint64 to) const
    {
        qint64 last = from;
        qint64 longest = 0;
        for (const qint64 at : m_paints) {
            if (at < from || at > to)
                continue;
            longest = std::max(longest, at - last);
            last = at;
        }
        return std::max(longest, to - last);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint)
            m_paints.push_back(m_clock.elapsed());
        return false;
    }

private:
    QWidget *m_window;
    QElapsedTimer m_clock;
    QTimer m_ask;
    std::vector<qint64> m_paints;
};

// Runs `handle` on each modal widget `matches` accepts, from the event loop.
void onModal(const std::function<bool(QWidget *)> &matches,
             const std::function<void(QWidget *)> &handle)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, matches, handle] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || !matches(modal))
            return;
        timer->stop();
        timer->deleteLater();
        handle(modal);
    });
    timer->start();
}

QPushButton *buttonText(const QWidget *dialog, const QString &text)
{
    for (QPushButton *b : dialog->findChildren<QPushButton *>()) {
        if (b->text().remove(QLatin1Char('&')) == text)
            return b;
    }
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("NEXILCONTROL_LIBRARY", SIMULATOR_LIBRARY);
    QApplication app(argc, argv);
    std::string json = R"({"systems":[{"locator":"usb:id:6006","channels":[)";
    for (int i = 0; i < channels; ++i)
        json += std::string(i ? "," : "") + R"({"speed":5000})";
    if (nexilsim::loadFleet(json + "]}]}") != 0)
        return 1;
    QTemporaryDir dir;
    nexil::Snapshot file;
    file.locator = locator;
    for (uint32_t i = 0; i < channels; ++i)
        file.channels.push_back({i, true, 1, 900000 + i, 100000, nexil::LowVibration::Off});
    const QString path = dir.filePath(QStringLiteral("six.json"));
    QString error;
    if (!nexil::snapshot::writeFile(path, file, &error))
        return 1;

    Velotune window;
    window.show();
    window.findChild<QComboBox *>(QStringLiteral("cbLocator"))->setEditText(locator);
    auto *connect = window.findChild<QPushButton *>(QStringLiteral("pbConnect"));
    connect->click();
    if (!connect->isChecked())
        return 1;
    Repaints repaints(&window);
    nexilsim::setLatencyMicroseconds(latencyUs);
    QTextStream out(stdout);
    const double callMs = latencyUs / 1000.0;

    // The overview's first fill.
    nexilsim::clearCallLog();
    qint64 from = repaints.now();
    window.findChild<QAction *>(QStringLiteral("aChannels"))->trigger();
    qint64 to = repaints.now();
    const double calls = double(nexilsim::callLog().size());
    out << QStringLiteral("overview fill: %1 calls, %2 ms = %3 x calls x latency; longest gap "
                          "between main-window repaints %4 ms (one call + 100 ms = %5 ms)\n")
                    .arg(calls)
                    .arg(to - from)
                    .arg(double(to - from) / (calls * callMs), 0, 'f', 3)
                    .arg(repaints.longestGap(from, to))
                    .arg(callMs + 100);

    // A restore of six fields, whole, then cancelled after two writes.
    for (const bool cancel : {false, true}) {
        int writes = 0;
        int afterClick = -1;
        nexilsim::setFaultHook([&](const std::string &function) -> uint32_t {
            if (afterClick >= 0)
                ++afterClick;
            else if (function.rfind("TQ_Set", 0) == 0)
                ++writes;
            auto *progress = window.findChild<QProgressDialog *>();
            if (cancel && afterClick < 0 && writes >= 2 && progress != nullptr
                && progress->isVisible()) {
                QWidget *button = progress->findChild<QPushButton *>();
                const QPoint at = button->rect().center();
                for (const QEvent::Type type :
                     {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                    QCoreApplication::postEvent(button,
                                                new QMouseEvent(type, at, button->mapToGlobal(at),
                                                                Qt::LeftButton, Qt::LeftButton,
                                                                Qt::NoModifier));
                afterClick = 0;
            }
            return 0;
        });
        onModal([](QWidget *w) { return qobject_cast<QFileDialog *>(w) != nullptr; },
                [&](QWidget *dialog) {
                    dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
                    // QFileDialog hides QDialog's public accept(); the call still reaches its own.
                    static_cast<QDialog *>(dialog)->accept();
                    onModal([](QWidget *w) { return buttonText(w, QStringLiteral("Restore")); },
                            [&](QWidget *plan) {
                                from = repaints.now();
                                buttonText(plan, QStringLiteral("Restore"))->click();
                                to = repaints.now();
                                plan->close();
                            });
                });
        window.findChild<QAction *>(QStringLiteral("aRestoreSettings"))->trigger();
        nexilsim::setFaultHook(nullptr);
        if (cancel)
            out << QStringLiteral("restore cancelled after %1 writes: %2 calls started after "
                                  "the click\n")
                            .arg(writes)
                            .arg(afterClick < 0 ? QStringLiteral("(no progress dialog to click)")
                                                : QString::number(afterClick));
        else
            out << QStringLiteral("restore of 6 fields: %1 ms; longest gap between main-window "
                                  "repaints %2 ms\n")
                            .arg(to - from)
                            .arg(repaints.longestGap(from, to));
        // Back to the fleet's values for the next run.
        nexilsim::setLatencyMicroseconds(0);
        connect->click();
        nexilsim::loadFleet(json + "]}]}");
        connect->click();
        nexilsim::setLatencyMicroseconds(latencyUs);
    }
    return 0;
}
