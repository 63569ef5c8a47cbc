// `velotune-cli diff` read by a person: which side is which, the units of every number, and a
// sensor type of other units named instead of numbers compared across units.

#include "clirunner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString locator = QStringLiteral("usb:id:31415926"); // sensors 1, 40 linear; 2 rotary
const QString second = QStringLiteral("usb:id:27182818");  // sensor 45 rotary; 1 no positioner

QJsonObject jsonObject(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

} // namespace

class tst_CliDiff : public QObject
{
    Q_OBJECT

private slots:
    void diffSaysWhatItCompares_data()
    {
        // other.json is the controller's snapshot saved.json with `edits` made to its channels.
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<QString>("text");
        // The --json output's differences.
        QTest::addColumn<QString>("differences");

        QTest::newRow("units per sensor")
                << R"({"0": {"sensorType": 45, "speed": 1}, "1": {"acceleration": 7},
                       "2": {"speed": 5}})"
                << locator << "other.json"
                << "usb:id:31415926 -> other.json\n"
                   "channel 0 sensorType: 1 -> 45, other units (nm/sec -> µ°/sec): speed and "
                   "acceleration not compared\n"
                   "channel 1 acceleration: 250.000 µm/sec² -> 7 µm/sec²\n"
                   "channel 2 speed: 10.000.000 µ°/sec -> 5 µ°/sec\n"
                << R"([{"channel": 0, "field": "sensorType", "left": 1, "right": 45,
                        "unitsDiffer": true,
                        "leftUnits": {"speed": "nm/sec", "acceleration": "µm/sec²"},
                        "rightUnits": {"speed": "µ°/sec", "acceleration": "m°/sec²"}},
                       {"channel": 1, "field": "acceleration", "left": 250000, "right": 7,
                        "unit": "µm/sec²"},
                       {"channel": 2, "field": "speed", "left": 10000000, "right": 5,
                        "unit": "µ°/sec"}])";
        QTest::newRow("file first, rotary acceleration")
                << R"({"2": {"acceleration": 123}})"
                << "other.json"
                << "saved.json"
                << "other.json -> saved.json\n"
                   "channel 2 acceleration: 123 m°/sec² -> 2.000.000 m°/sec²\n"
                << R"([{"channel": 2, "field": "acceleration", "left": 123, "right": 2000000,
                        "unit": "m°/sec²"}])";
        // Another linear sensor: the same units, so the numbers are still compared.
        QTest::newRow("sensor of the same units")
                << R"({"0": {"sensorType": 5, "speed": 1}})" << locator << "other.json"
                << "usb:id:31415926 -> other.json\n"
                   "channel 0 sensorType: 1 -> 5\n"
                   "channel 0 speed: 2.000.000 nm/sec -> 1 nm/sec\n"
                << R"([{"channel": 0, "field": "sensorType", "left": 1, "right": 5,
                        "unitsDiffer": false,
                        "leftUnits": {"speed": "nm/sec", "acceleration": "µm/sec²"},
                        "rightUnits": {"speed": "nm/sec", "acceleration": "µm/sec²"}},
                       {"channel": 0, "field": "speed", "left": 2000000, "right": 1,
                        "unit": "nm/sec"}])";
        QTest::newRow("no difference") << "{}" << locator << "other.json"
                                       << "usb:id:31415926 -> other.json\nno differences\n"
                                       << "[]";
    }

    void diffSaysWhatItCompares()
    {
        QFETCH(QString, edits);
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(QString, text);
        QFETCH(QString, differences);

        CliRunner cli;
        QCOMPARE(cli.run({QStringLiteral("save"), locator, QStringLiteral("saved.json")}).exitCode,
                 0);
        QFile saved(cli.path(QStringLiteral("saved.json")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QJsonObject snapshot = QJsonDocument::fromJson(saved.readAll()).object();
        QJsonArray channels = snapshot.value(QStringLiteral("channels")).toArray();
        const QJsonObject patches = jsonObject(edits);
        for (auto patch = patches.begin(); patch != patches.end(); ++patch) {
            QJsonObject channel = channels.at(patch.key().toInt()).toObject();
            const QJsonObject fields = patch.value().toObject();
            for (auto field = fields.begin(); field != fields.end(); ++field)
                channel.insert(field.key(), field.value());
            channels.replace(patch.key().toInt(), channel);
        }
        snapshot.insert(QStringLiteral("channels"), channels);
        QFile other(cli.path(QStringLiteral("other.json")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        QVERIFY(other.write(QJsonDocument(snapshot).toJson()) > 0);
        other.close();

        const int exitCode = patches.isEmpty() ? 0 : 1;
        const CliRun plain = cli.run({QStringLiteral("diff"), left, right});
        QCOMPARE(plain.exitCode, exitCode);
        QCOMPARE(plain.out, text);
        const CliRun json
                = cli.run({QStringLiteral("diff"), left, right, QStringLiteral("--json")});
        QCOMPARE(json.exitCode, exitCode);
        const QJsonObject object = jsonObject(json.out);
        QCOMPARE(object.value(QStringLiteral("left")).toString(), left);
        QCOMPARE(object.value(QStringLiteral("leftKind")).toString(),
                 left == locator ? QStringLiteral("controller") : QStringLiteral("snapshot"));
        QCOMPARE(object.value(QStringLiteral("right")).toString(), right);
        QCOMPARE(object.value(QStringLiteral("differences")).toArray(),
                 QJsonDocument::fromJson(differences.toUtf8()).array());
    }

    void diffTakesControllersOnEitherSide_data()
    {
        QTest::addColumn<QStringList>("sides");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("text"); // stdout, or stderr when nothing was compared
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<int>("opens");

        const QStringList controllers{"controller", "controller"};
        QTest::newRow("two controllers")
                << QStringList{locator, second} << 1
                << "usb:id:31415926 -> usb:id:27182818\n"
                   "channel 0 sensorType: 1 -> 45, other units (nm/sec -> µ°/sec): speed and "
                   "acceleration not compared\n"
                   "channel 1 positioner: yes -> no\n"
                   "channel 2 sensorType: 2 -> 1, other units (µ°/sec -> nm/sec): speed and "
                   "acceleration not compared\n"
                   "channel 2 lowVibration: unsupported -> off\n"
                << controllers << 2;
        QTest::newRow("the same controller twice")
                << QStringList{locator, locator} << 0 << "usb:id:31415926 -> usb:id:31415926\n"
                << controllers << 2;
        QTest::newRow("a file, then a controller")
                << QStringList{"saved.json", locator} << 0 << "saved.json -> usb:id:31415926\n"
                << QStringList{"snapshot", "controller"} << 1;
        // No colon: a file name, and a missing one costs no controller time.
        QTest::newRow("a missing file") << QStringList{locator, "none.json"} << 3
                                        << "velotune-cli: none.json: no such file\n"
                                        << QStringList() << 0;
        QTest::newRow("a controller that is not there")
                << QStringList{locator, "usb:id:1"} << 4
                << "velotune-cli: usb:id:1: Could not connect to Nexil. Error: 16 (Unknown "
                   "locator)\n"
                << QStringList() << 2;
    }

    void diffTakesControllersOnEitherSide()
    {
        QFETCH(QStringList, sides);
        QFETCH(int, exitCode);
        QFETCH(QString, text);
        QFETCH(QStringList, kinds);
        QFETCH(int, opens);

        CliRunner cli;
        QCOMPARE(cli.run({QStringLiteral("save"), locator, QStringLiteral("saved.json")}).exitCode,
                 0);
        const CliRun plain
                = cli.run(QStringList{QStringLiteral("--trace"), QStringLiteral("diff")} + sides);
        QCOMPARE(plain.exitCode, exitCode);
        if (kinds.isEmpty()) {
            QVERIFY2(plain.err.endsWith(text), qPrintable(plain.err));
        } else {
            QCOMPARE(plain.out, exitCode == 0 ? text + "no differences\n" : text);
            const CliRun json = cli.run(QStringList{QStringLiteral("diff")} + sides
                                        + QStringList{QStringLiteral("--json")});
            const QJsonObject object = jsonObject(json.out);
            QCOMPARE(QStringList({object.value(QStringLiteral("leftKind")).toString(),
                                  object.value(QStringLiteral("rightKind")).toString()}),
                     kinds);
            QCOMPARE(object.value(QStringLiteral("right")).toString(), sides.at(1));
        }
        // Each controller opened is released, one before the next is opened, and nothing is
        // written.
        QCOMPARE(plain.count("TQ_OpenSystem"), opens);
        QCOMPARE(plain.count("TQ_CloseSystem"), exitCode == 4 ? opens - 1 : opens);
        QVERIFY(!plain.wrote());
        const QStringList calls = plain.calls();
        if (opens == 2)
            QVERIFY(calls.indexOf(QStringLiteral("TQ_CloseSystem"))
                    < calls.lastIndexOf(QStringLiteral("TQ_OpenSystem")));
    }
};

QTEST_GUILESS_MAIN(tst_CliDiff)
#include "tst_clidiff.moc"
