// Time the channel overview takes to fill, against the calls it makes times the simulator's
// latency per call: what the window adds to the controller's own round trips.
//
//     cmake --build build --target bench_overview && build/bench/bench_overview [RUNS]
//
// Each run opens the hidden overview (which reads every channel) and then presses its Refresh;
// both are timed from the action until its slot returns, the time the window is blocked.
#include "simcontrol.h"
#include "velotune.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int channels = 36;
constexpr uint32_t latencyUs = 1000;

std::string fleet()
{
    std::string json = R"({"systems":[{"locator":"usb:id:36","channels":[)";
    for (int i = 0; i < channels; ++i)
        json += std::string(i ? "," : "")
                + R"({"type":0,"sensorType":1,"speed":5000,"acceleration":700,"lowVibration":"off"})";
    return json + "]}]}";
}

struct Sample
{
    qint64 ns = 0;
    size_t calls = 0;
};

template<typename F>
Sample timed(F &&action)
{
    nexilsim::clearCallLog();
    QElapsedTimer timer;
    timer.start();
    action();
    Sample s;
    s.ns = timer.nsecsElapsed();
    s.calls = nexilsim::callLog().size();
    return s;
}

void print(QTextStream &out, const char *what, int run, const Sample &s, uint32_t latency)
{
    const double ms = double(s.ns) / 1e6;
    const double floor = double(s.calls) * latency / 1000.0;
    out << QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\n")
                    .arg(QLatin1String(what))
                    .arg(latency)
                    .arg(run)
                    .arg(s.calls)
                    .arg(ms, 0, 'f', 2)
                    .arg(floor, 0, 'f', 2)
                    .arg(floor > 0 ? QString::number((ms / floor - 1) * 100, 'f', 2)
                                   : QStringLiteral("-"));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window must reach the simulator this process controls.
    qputenv("NEXILCONTROL_LIBRARY", SIMULATOR_LIBRARY);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    if (nexilsim::loadFleet(fleet()) != 0) {
        std::fprintf(stderr, "the fleet was refused\n");
        return 1;
    }
    Velotune window;
    window.show();
    window.findChild<QComboBox *>(QStringLiteral("cbLocator"))
            ->setEditText(QStringLiteral("usb:id:36"));
    auto *connect = window.findChild<QPushButton *>(QStringLiteral("pbConnect"));
    connect->click();
    if (!connect->isChecked()) {
        std::fprintf(stderr, "could not connect\n");
        return 1;
    }
    auto *channelsAction = window.findChild<QAction *>(QStringLiteral("aChannels"));

    QTextStream out(stdout);
    out << "action\tlatency (us)\trun\tcalls\tms\tcalls x latency (ms)\tover (%)\n";
    // Per latency: the re-opens and refreshes, for the medians below.
    std::map<uint32_t, std::vector<Sample>> fills;
    for (const uint32_t latency : {latencyUs, uint32_t(0)}) {
        nexilsim::setLatencyMicroseconds(latency);
        for (int run = 1; run <= runs; ++run) {
            if (QWidget *overview = window.findChild<QWidget *>(QStringLiteral("ChannelOverview")))
                overview->hide();
            const Sample open = timed([&] { channelsAction->trigger(); });
            const bool first = run == 1 && latency == latencyUs;
            print(out, first ? "first open" : "open", run, open, latency);
            if (!first)
                fills[latency].push_back(open);
            auto *refresh = window.findChild<QPushButton *>(QStringLiteral("pbRefreshChannels"));
            const Sample again = timed([&] { refresh->click(); });
            print(out, "refresh", run, again, latency);
            fills[latency].push_back(again);
            QCoreApplication::processEvents();
        }
    }
    out << "\nmedian and fastest fill (open and refresh, the first open left out):\n";
    for (auto &[latency, samples] : fills) {
        std::sort(samples.begin(), samples.end(),
                  [](const Sample &a, const Sample &b) { return a.ns < b.ns; });
        print(out, "median", int(samples.size()), samples[samples.size() / 2], latency);
        print(out, "fastest", int(samples.size()), samples.front(), latency);
    }
    return 0;
}
