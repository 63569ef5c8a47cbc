// Snapshot files against `velotune-cli restore`: a saved file restores cleanly, and every kind
// of broken or foreign file is refused with one clear message before anything is written.

#include "clirunner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace {

const QString locator = QStringLiteral("usb:id:27182818"); // channel 1 is not a positioner

using Edit = std::function<QByteArray(QJsonObject)>;

QByteArray json(const QJsonObject &o)
{
    return QJsonDocument(o).toJson();
}

QJsonObject withChannel(QJsonObject top, int index, const std::function<void(QJsonObject &)> &edit)
{
    QJsonArray channels = top.value(QStringLiteral("channels")).toArray();
    QJsonObject channel = channels.at(index).toObject();
    edit(channel);
    channels.replace(index, channel);
    top.insert(QStringLiteral("channels"), channels);
    return top;
}

QByteArray setField(QJsonObject top, int channel, const char *key, const QJsonValue &value)
{
    return json(withChannel(top, channel,
                            [&](QJsonObject &c) { c.insert(QLatin1String(key), value); }));
}

} // namespace

Q_DECLARE_METATYPE(Edit)

class tst_CliSnapshot : public QObject
{
    Q_OBJECT

private slots:
    void restoreChecksTheWholeFileFirst_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        // Refused before the controller is even opened.
        QTest::addColumn<bool>("noCallAtAll");

        QTest::newRow("round trip") << Edit([](QJsonObject o) { return json(o); }) << 0
                                    << "matches bad.json (0 field(s) written)" << false;
        QTest::newRow("truncated") << Edit([](QJsonObject o) {
            const QByteArray b = json(o);
            return b.left(b.size() / 2);
        }) << 3 << "bad.json: not a snapshot: not valid JSON"
                                   << true;
        QTest::newRow("not JSON") << Edit([](QJsonObject) { return QByteArray("speed = 5\n"); })
                                  << 3 << "bad.json: not a snapshot: not valid JSON" << true;
        QTest::newRow("empty") << Edit([](QJsonObject) { return QByteArray(); }) << 3
                               << "bad.json: not a snapshot: not valid JSON" << true;
        QTest::newRow("array at top") << Edit([](QJsonObject) { return QByteArray("[1]"); }) << 3
                                      << "the top level is not a JSON object" << true;
        QTest::newRow("wrong format") << Edit([](QJsonObject o) {
            o.insert(QStringLiteral("format"), QStringLiteral("other"));
            return json(o);
        }) << 3 << "\"format\" is \"other\", expected \"velotune-snapshot\""
                                      << true;
        QTest::newRow("wrong version") << Edit([](QJsonObject o) {
            o.insert(QStringLiteral("version"), 2);
            return json(o);
        }) << 3 << "snapshot version 2 is not supported (this program reads version 1)"
                                       << true;
        QTest::newRow("value above 2^32-1")
                << Edit([](QJsonObject o) { return setField(o, 0, "speed", 4294967296.0); }) << 3
                << "channels[0]: \"speed\" is 4294967296, above 4294967295" << true;
        QTest::newRow("negative value")
                << Edit([](QJsonObject o) { return setField(o, 2, "acceleration", -1); }) << 3
                << "channels[2]: \"acceleration\" is -1, below 0" << true;
        QTest::newRow("fraction") << Edit([](QJsonObject o) {
            return setField(o, 0, "speed", 1.5);
        }) << 3 << "channels[0]: \"speed\" must be a whole number, not 1.5"
                                  << true;
        QTest::newRow("number as text") << Edit([](QJsonObject o) {
            return setField(o, 0, "speed", QStringLiteral("1000"));
        }) << 3 << "\"speed\" must be a whole number, not \"1000\""
                                        << true;
        QTest::newRow("missing field") << Edit([](QJsonObject o) {
            return json(withChannel(
                    o, 2, [](QJsonObject &c) { c.remove(QStringLiteral("acceleration")); }));
        }) << 3 << "channels[2]: \"acceleration\" is missing"
                                       << true;
        QTest::newRow("unknown key")
                << Edit([](QJsonObject o) { return setField(o, 0, "sped", 5); }) << 3
                << "channels[0]: unknown key \"sped\"" << true;
        // The parser would keep the last of the two without a word.
        QTest::newRow("duplicate key at the top") << Edit([](QJsonObject o) {
            QByteArray b = json(o);
            return b.insert(b.lastIndexOf('}'), ", \"channels\": []");
        }) << 3 << "bad.json: duplicate key \"channels\"; nothing written"
                                                  << true;
        QTest::newRow("duplicate key in a channel") << Edit([](QJsonObject o) {
            return json(o).replace("\"speed\": ", "\"speed\": 99, \"speed\": ");
        }) << 3 << "bad.json: channels[0]: duplicate key \"speed\""
                                                    << true;
        QTest::newRow("duplicate key, once escaped") << Edit([](QJsonObject o) {
            QByteArray b = json(o);
            const int last = b.lastIndexOf("\"speed\": ");
            return b.insert(last, "\"sp\\u0065ed\": 1, ");
        }) << 3 << "bad.json: channels[2]: duplicate key \"speed\""
                                                     << true;
        // Past what the JSON parser takes, the search for duplicates must not hold it up.
        QTest::newRow("arrays 100,000 deep") << Edit([](QJsonObject) {
            return QByteArray(100000, '[') + QByteArray(100000, ']');
        }) << 3 << "bad.json: not a snapshot: not valid JSON"
                                             << true;
        QTest::newRow("bad Low Vibration") << Edit([](QJsonObject o) {
            return setField(o, 0, "lowVibration", QStringLiteral("maybe"));
        }) << 3 << "\"lowVibration\" is \"maybe\", expected \"on\", \"off\" or \"unsupported\""
                                           << true;
        QTest::newRow("channels out of order")
                << Edit([](QJsonObject o) { return setField(o, 1, "index", 2); }) << 3
                << "channels[1]: \"index\" is 2, expected 1" << true;
        QTest::newRow("larger than 4 MiB")
                << Edit([](QJsonObject o) { return json(o) + QByteArray(4 * 1024 * 1024, ' '); })
                << 3 << "bad.json: not a snapshot: larger than 4194304 bytes" << true;
        // These need the controller to tell: it is opened, read and released, never written.
        QTest::newRow("wrong channel count") << Edit([](QJsonObject o) {
            QJsonArray channels = o.value(QStringLiteral("channels")).toArray();
            channels.removeLast();
            o.insert(QStringLiteral("channels"), channels);
            return json(o);
        }) << 3 << "2 channels in the file, 3 on the controller; nothing written"
                                             << false;
        QTest::newRow("wrong positioner flag") << Edit([](QJsonObject o) {
            return json(withChannel(o, 1, [](QJsonObject &c) {
                c.insert(QStringLiteral("positioner"), true);
                c.insert(QStringLiteral("sensorType"), 1);
                c.insert(QStringLiteral("speed"), 1000);
                c.insert(QStringLiteral("acceleration"), 1000);
                c.insert(QStringLiteral("lowVibration"), QStringLiteral("off"));
            }));
        }) << 3
                                               << "channel 1 is a positioner in the file, not one "
                                                  "on the controller; nothing written"
                                               << false;
        QTest::newRow("other sensor")
                << Edit([](QJsonObject o) { return setField(o, 0, "sensorType", 1); }) << 3
                << "channel 0 is sensor type 1 in the file, 45 on the controller" << false;
    }

    void restoreChecksTheWholeFileFirst()
    {
        QFETCH(Edit, edit);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFETCH(bool, noCallAtAll);

        CliRunner cli;
        const CliRun saved
                = cli.run({QStringLiteral("save"), locator, QStringLiteral("saved.json")});
        QCOMPARE(saved.exitCode, 0);
        QFile savedFile(cli.path(QStringLiteral("saved.json")));
        QVERIFY(savedFile.open(QIODevice::ReadOnly));
        const QJsonObject snapshot = QJsonDocument::fromJson(savedFile.readAll()).object();
        QCOMPARE(snapshot.value(QStringLiteral("format")).toString(),
                 QStringLiteral("velotune-snapshot"));

        QFile bad(cli.path(QStringLiteral("bad.json")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        const QByteArray content = edit(snapshot);
        QCOMPARE(bad.write(content), qint64(content.size()));
        bad.close();

        const CliRun restore
                = cli.run({QStringLiteral("restore"), locator, QStringLiteral("bad.json")});
        QCOMPARE(restore.exitCode, exitCode);
        QVERIFY2((restore.out + restore.err).contains(message), qPrintable(restore.err));
        QVERIFY2(!restore.wrote(), qPrintable(restore.err));
        if (exitCode != 0) {
            // One message, on stderr, and nothing on stdout.
            QCOMPARE(restore.err.count(QStringLiteral("velotune-cli: ")), 1);
            QVERIFY(restore.out.isEmpty());
        }
        if (noCallAtAll)
            QCOMPARE(restore.calls(), QStringList());
        else
            QCOMPARE(restore.count("TQ_CloseSystem"), restore.count("TQ_OpenSystem"));
    }

    void restoreRefusesWhatIsNoFile()
    {
        CliRunner cli;
        const CliRun folder = cli.run({QStringLiteral("restore"), locator, QStringLiteral(".")});
        QCOMPARE(folder.exitCode, 3);
        QVERIFY2(folder.err.contains(QStringLiteral(".: not a regular file")),
                 qPrintable(folder.err));
        const CliRun missing
                = cli.run({QStringLiteral("restore"), locator, QStringLiteral("none.json")});
        QCOMPARE(missing.exitCode, 3);
        QVERIFY2(missing.err.contains(QStringLiteral("none.json: no such file")),
                 qPrintable(missing.err));
        QCOMPARE(folder.calls() + missing.calls(), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_CliSnapshot)
#include "tst_clisnapshot.moc"
