// The channel model on its own, QtCore only, against the simulator: what a write reaches the
// controller with and reports, and a restore's plan, cancel and refusals part way.

#include "channelmodel.h"
#include "journal.h"
#include "restoretext.h"
#include "simcalls.h"
#include "simcontrol.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(nexil::Setting)
Q_DECLARE_METATYPE(nexil::Outcome)

namespace {

const QString first = QStringLiteral("usb:id:31415926");
const QString second = QStringLiteral("usb:id:27182818");

QStringList calls()
{
    return simcalls::take();
}

// The controller's channels as a snapshot would hold them.
nexil::Snapshot snapshotOf(nexil::ChannelModel *model)
{
    nexil::Snapshot file;
    uint32_t failed = 0;
    std::vector<uint32_t> all;
    for (uint32_t i = 0; i < model->channelCount(); ++i)
        all.push_back(i);
    model->readChannels(all, &file.channels, &failed);
    return file;
}

// Speed of channel 0 and 1 and acceleration of channel 2 differ: three writes.
nexil::Snapshot changed(nexil::ChannelModel *model)
{
    nexil::Snapshot file = snapshotOf(model);
    file.channels[0].speed = 1500000;
    file.channels[1].speed = 600000;
    file.channels[2].acceleration = 123;
    return file;
}

// The journal's newest line, as read back.
nexil::journal::Event lastJournaled()
{
    QFile file(QFile::decodeName(nexil::journal::state().file));
    nexil::journal::Event event;
    if (file.open(QIODevice::ReadOnly))
        nexil::journal::fromLine(file.readAll().trimmed().split('\n').last(), &event);
    return event;
}

} // namespace

class tst_ChannelModel : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        nexilsim::loadDefaultFleet();
        nexilsim::setStatusText(7777, "Injected failure");
    }

    void write_data()
    {
        QTest::addColumn<QString>("locator");
        QTest::addColumn<uint32_t>("channel");
        QTest::addColumn<nexil::Setting>("setting");
        QTest::addColumn<uint32_t>("value");
        QTest::addColumn<QString>("failing"); // a call failed with 7777
        QTest::addColumn<nexil::Outcome>("outcome");
        QTest::addColumn<QStringList>("expectedCalls");
        QTest::addColumn<QString>("message");

        const QString set = QStringLiteral("TQ_SetClosedLoopMoveSpeed_S");
        QTest::newRow("speed taken") << first << 0u << nexil::Setting::Speed << 1500000u
                                     << QString() << nexil::Outcome::Taken
                                     << QStringList{set, "TQ_GetClosedLoopMoveAcceleration_S",
                                                    "TQ_EPK", "TQ_GetChannelProperty_S"}
                                     << QString();
        QTest::newRow("speed out of range: refused, then read")
                << second << 2u << nexil::Setting::Speed << 10u << QString()
                << nexil::Outcome::Refused
                << QStringList{set, "TQ_GetStatusInfo", "TQ_GetClosedLoopMoveSpeed_S"}
                << "Could not set speed value. Error: 20 (Value out of range)";
        QTest::newRow("acceleration read back fails")
                << first << 1u << nexil::Setting::Acceleration << 7u << "TQ_GetChannelProperty_S"
                << nexil::Outcome::NotReadBack
                << QStringList{"TQ_SetClosedLoopMoveAcceleration_S", "TQ_EPK",
                               "TQ_GetChannelProperty_S"}
                << QString();
        QTest::newRow("Low Vibration on a holding channel: the stop is refused")
                << second << 0u << nexil::Setting::LowVibration << 1u << QString()
                << nexil::Outcome::Refused
                << QStringList{"TQ_Stop_S", "TQ_GetStatusInfo", "TQ_EPK", "TQ_GetChannelProperty_S"}
                << "Could not set Low Vibration Mode (Axis holding position?). Error: 156";
    }

    void write()
    {
        QFETCH(QString, locator);
        QFETCH(uint32_t, channel);
        QFETCH(nexil::Setting, setting);
        QFETCH(uint32_t, value);
        QFETCH(QString, failing);
        QFETCH(nexil::Outcome, outcome);
        QFETCH(QStringList, expectedCalls);
        QFETCH(QString, message);

        nexil::ChannelModel model;
        QVERIFY(!model.open(locator));
        nexil::ChannelSettings before;
        QVERIFY(!model.readChannel(channel, &before));
        if (!failing.isEmpty())
            nexilsim::failNext(failing.toStdString(), 7777);
        QSignalSpy written(&model, &nexil::ChannelModel::written);
        calls();

        const nexil::WriteResult result
                = model.write(channel, setting, value, nexil::Source::Form, nullptr, true);
        QCOMPARE(calls(), expectedCalls);
        QCOMPARE(result.outcome, outcome);
        QVERIFY2(result.message.startsWith(message), qPrintable(result.message));
        QCOMPARE(result.before, std::optional<uint32_t>(nexil::valueOf(before, setting)));
        QCOMPARE(written.count(), 1);
        // What the model knows afterwards is what the controller holds.
        nexilsim::ChannelState state{};
        QVERIFY(nexilsim::channelState(locator.toStdString(), channel, &state));
        const uint32_t held = setting == nexil::Setting::Speed ? state.speed
                : setting == nexil::Setting::Acceleration      ? state.acceleration
                                                               : uint32_t(state.lowVibration);
        QCOMPARE(model.known(channel, setting), std::optional<uint32_t>(held));
        QCOMPARE(held == value, outcome != nexil::Outcome::Refused);
        // Journaled as it was made, with the status and text of a refusal.
        const nexil::journal::Event line = lastJournaled();
        QCOMPARE(nexil::journal::kindName(line.kind), QStringLiteral("write"));
        QCOMPARE(line.locator, locator);
        QCOMPARE(line.channel, std::optional<uint32_t>(channel));
        QCOMPARE(line.setting, std::optional<nexil::Setting>(setting));
        QCOMPARE(line.oldValue, result.before);
        QCOMPARE(line.newValue, std::optional<uint32_t>(value));
        QCOMPARE(line.source, QStringLiteral("form"));
        const char *const outcomes[] = {"taken", "refused", "not read back"};
        QCOMPARE(nexil::journal::outcomeName(line.outcome), QLatin1String(outcomes[int(outcome)]));
        QCOMPARE(line.status,
                 outcome == nexil::Outcome::Taken ? std::nullopt
                                                  : std::optional<uint32_t>(result.failure.status));
        QCOMPARE(line.text, result.message);
    }

    // A snapshot of the largest allowed controller, every value at its largest and a long
    // locator of characters written as escapes, fits the size a snapshot file may have.
    void largestSnapshotFits()
    {
        nexil::Snapshot file;
        file.locator = QString(4096, QChar(1));
        file.program = QString(256, QLatin1Char('"'));
        file.savedAt = QStringLiteral("2026-12-10T15:04:07Z");
        for (uint32_t i = 0; i < nexil::ChannelModel::maxChannels; ++i)
            file.channels.push_back({i, true, 4294967295u, 4294967295u, 4294967295u,
                                     nexil::LowVibration::Unsupported});
        const QByteArray json = nexil::snapshot::toJson(file);
        QVERIFY2(json.size() < nexil::snapshot::maxFileSize / 2,
                 qPrintable(QString::number(json.size())));
        nexil::Snapshot back;
        QString error;
        QVERIFY2(nexil::snapshot::parse(json, QStringLiteral("f.json"), &back, &error),
                 qPrintable(error));
        QCOMPARE(back.channels.size(), file.channels.size());
    }

    void restorePlan_data()
    {
        QTest::addColumn<int>("extraChannels");
        QTest::addColumn<bool>("otherSensor");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<int>("steps");
        QTest::newRow("three fields differ") << 0 << false << QString() << 3;
        QTest::newRow("more channels in the file")
                << 1 << false << "4 channels in the file, 3 on the controller; nothing written"
                << 0;
        QTest::newRow("other sensor type")
                << 0 << true << "channel 1 is sensor type 41 in the file, 40 on the controller"
                << 0;
    }

    void restorePlan()
    {
        QFETCH(int, extraChannels);
        QFETCH(bool, otherSensor);
        QFETCH(QString, refusal);
        QFETCH(int, steps);
        nexil::ChannelModel model;
        QVERIFY(!model.open(first));
        nexil::Snapshot file = changed(&model);
        for (int i = 0; i < extraChannels; ++i) {
            file.channels.push_back(file.channels.back());
            file.channels.back().index = uint32_t(file.channels.size() - 1);
        }
        if (otherSensor)
            file.channels[1].sensorType = 41;
        calls();
        const nexil::RestorePlan plan = model.planRestore(QStringLiteral("f.json"), file);
        QVERIFY2(plan.refusal.contains(refusal), qPrintable(plan.refusal));
        QCOMPARE(plan.writable(), refusal.isEmpty());
        QCOMPARE(int(plan.steps.size()), steps);
        // Planning only reads.
        for (const QString &call : calls())
            QVERIFY2(!call.startsWith(QLatin1String("TQ_Set")) && call != "TQ_Stop_S",
                     qPrintable(call));
    }

    // Cancelled after `cancelAfter` writes, or refused at the write of `refusedAt`; the
    // result tells exactly what was written.
    void restorePartWay_data()
    {
        QTest::addColumn<int>("cancelAfter");
        QTest::addColumn<int>("refusedAt");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<int>("written");
        QTest::newRow("whole") << -1 << -1
                               << QStringList{"written and read back as asked",
                                              "written and read back as asked",
                                              "written and read back as asked"}
                               << 3;
        QTest::newRow("cancelled after one write")
                << 1 << -1 << QStringList{"written, not read back", QString(), QString()} << 1;
        QTest::newRow("cancelled before any write")
                << 0 << -1 << QStringList{QString(), QString(), QString()} << 0;
        QTest::newRow("channel 1 refused")
                << -1 << 1
                << QStringList{"written and read back as asked",
                               "FAILED: Could not set speed value. Error: 7777 (Injected failure)",
                               "written and read back as asked"}
                << 2;
    }

    void restorePartWay()
    {
        QFETCH(int, cancelAfter);
        QFETCH(int, refusedAt);
        QFETCH(QStringList, outcomes);
        QFETCH(int, written);
        nexil::ChannelModel model;
        QVERIFY(!model.open(first));
        const nexil::Snapshot file = changed(&model);
        const nexil::RestorePlan plan = model.planRestore(QStringLiteral("f.json"), file);
        QCOMPARE(plan.steps.size(), std::size_t(3));
        int writes = 0;
        nexilsim::setFaultHook([&](const std::string &function) -> uint32_t {
            if (function.rfind("TQ_Set", 0) != 0)
                return 0;
            return writes++ == refusedAt ? 7777 : 0;
        });
        std::vector<std::size_t> progress;
        nexil::RestoreResult result;
        model.restore(
                plan, nexil::Source::Restore, &result, nullptr,
                [&](std::size_t done, std::size_t total, const QString &) {
                    QCOMPARE(total, std::size_t(3));
                    progress.push_back(done);
                },
                [&] { return cancelAfter >= 0 && writes >= cancelAfter; });
        nexilsim::setFaultHook(nullptr);

        QStringList texts;
        for (const nexil::RestoreStep &step : result.steps)
            texts << nexil::restoretext::stepOutcome(step, QString());
        QCOMPARE(texts, outcomes);
        QCOMPARE(int(result.written()), written);
        QCOMPARE(result.cancelled, cancelAfter >= 0);
        QCOMPARE(result.matches(), cancelAfter < 0 && refusedAt < 0);
        QCOMPARE(int(progress.size()), cancelAfter >= 0 ? cancelAfter : 3);
        // The controller holds the file's value exactly where the result says it was written.
        for (const nexil::RestoreStep &step : result.steps) {
            nexilsim::ChannelState state{};
            QVERIFY(nexilsim::channelState(first.toStdString(), step.step.channel, &state));
            const uint32_t held
                    = step.step.setting == nexil::Setting::Speed ? state.speed : state.acceleration;
            QCOMPARE(held == step.to,
                     step.outcome == nexil::StepOutcome::AsAsked
                             || step.outcome == nexil::StepOutcome::NotReadBack);
        }
    }
};

QTEST_GUILESS_MAIN(tst_ChannelModel)
#include "tst_channelmodel.moc"
