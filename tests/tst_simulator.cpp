#include "nexilcontrol.h"
#include "simcontrol.h"
#include "statuscodes.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cstdio>

#include <sys/stat.h>

using namespace nexilsim;

namespace {

// Known ranges, so these tests do not follow every tweak of the shipped fleet.
const char *const testFleet = R"({"systems": [
  {"locator": "usb:id:1001", "channels": [
    {"speed": 5000, "speedRange": [1000, 9000], "acceleration": 300, "accelerationRange": [100, 500]},
    {"type": 1, "sensorType": 0, "lowVibration": "unsupported", "holding": true}]},
  {"locator": "usb:id:1002", "channels": [{"lowVibration": "on"}]},
  {"locator": "network:10.0.0.1:5000", "listed": false},
  {"locator": "network:10.0.0.2:5000"}]})";
const QByteArray usbList = "usb:id:1001\nusb:id:1002";
const uint32_t untouched = 0xDEADBEEF;
const uint32_t lowVibrationKey = 0x01020001;

uint32_t openHandle(const char *locator)
{
    uint32_t handle = 0;
    return TQ_OpenSystem(&handle, locator, "sync") == status::Ok ? handle : 0;
}

QByteArray discover(const char *options, uint32_t *st)
{
    char buffer[4096];
    uint32_t size = sizeof buffer;
    *st = TQ_FindSystems(options, buffer, &size);
    return *st == status::Ok ? QByteArray(buffer, int(size) - 1) : QByteArray();
}

QByteArray statusText(uint32_t code)
{
    const char *info = nullptr;
    TQ_GetStatusInfo(code, &info);
    return QByteArray(info);
}

// The calls that take a system handle (and a channel), by name.
const QStringList handleCalls = {"TQ_GetChannelType",
                                 "TQ_GetSensorType_S",
                                 "TQ_GetClosedLoopMoveSpeed_S",
                                 "TQ_GetClosedLoopMoveAcceleration_S",
                                 "TQ_SetClosedLoopMoveSpeed_S",
                                 "TQ_SetClosedLoopMoveAcceleration_S",
                                 "TQ_GetChannelProperty_S",
                                 "TQ_SetChannelProperty_S",
                                 "TQ_Stop_S",
                                 "TQ_GetNumberOfChannels",
                                 "TQ_CloseSystem"};

uint32_t callByName(const QString &f, uint32_t s, uint32_t c, uint32_t *out)
{
    if (f == "TQ_GetChannelType")
        return TQ_GetChannelType(s, c, out);
    if (f == "TQ_GetSensorType_S")
        return TQ_GetSensorType_S(s, c, out);
    if (f == "TQ_GetClosedLoopMoveSpeed_S")
        return TQ_GetClosedLoopMoveSpeed_S(s, c, out);
    if (f == "TQ_GetClosedLoopMoveAcceleration_S")
        return TQ_GetClosedLoopMoveAcceleration_S(s, c, out);
    if (f == "TQ_SetClosedLoopMoveSpeed_S")
        return TQ_SetClosedLoopMoveSpeed_S(s, c, 6000);
    if (f == "TQ_SetClosedLoopMoveAcceleration_S")
        return TQ_SetClosedLoopMoveAcceleration_S(s, c, 400);
    if (f == "TQ_GetChannelProperty_S")
        return TQ_GetChannelProperty_S(s, c, lowVibrationKey, out);
    if (f == "TQ_SetChannelProperty_S")
        return TQ_SetChannelProperty_S(s, c, lowVibrationKey, 1);
    if (f == "TQ_Stop_S")
        return TQ_Stop_S(s, c);
    if (f == "TQ_GetNumberOfChannels")
        return TQ_GetNumberOfChannels(s, out);
    return TQ_CloseSystem(s);
}

// Child side of configFile(): the library reads NEXILCONTROL_SIM_CONFIG once per process.
int discoverInChild()
{
    uint32_t st = 0;
    const QByteArray found = discover("interface usb", &st);
    discover("interface usb", &st); // must not complain a second time
    uint32_t handle = 0;
    const uint32_t opened = TQ_OpenSystem(&handle, "usb:id:none", "sync");
    std::printf("%u\n%s\n%u\n", st, (st == status::Ok ? found : statusText(st)).constData(),
                opened);
    return 0;
}

} // namespace

class tst_Simulator : public QObject
{
    Q_OBJECT

private slots:
    void init() { QCOMPARE(loadFleet(testFleet), status::Ok); }

    void defaultFleet()
    {
        loadDefaultFleet();
        uint32_t st = 0;
        const QList<QByteArray> usb = discover("interface usb", &st).split('\n');
        QCOMPARE(usb.size(), 2);
        for (const QByteArray &locator : usb)
            QVERIFY2(QRegularExpression("^usb:id:\\d{8}$").match(locator).hasMatch(), locator);
        QCOMPARE(discover("", &st).split('\n'), usb);
        const std::vector<std::string> all = locators();
        QCOMPARE(all.size(), std::size_t(3));
        QCOMPARE(all.back(), std::string("network:192.0.2.10:5000"));

        int nonPositioners = 0, withoutLowVibration = 0, holding = 0;
        for (const std::string &locator : all) {
            const uint32_t h = openHandle(locator.c_str()); // unlisted ones open too
            uint32_t count = 0, type = 0, speed = 0, acceleration = 0, unused = 0;
            QCOMPARE(TQ_GetNumberOfChannels(h, &count), status::Ok);
            for (uint32_t c = 0; c < count; ++c) {
                QCOMPARE(TQ_GetChannelType(h, c, &type), status::Ok);
                QCOMPARE(TQ_GetClosedLoopMoveSpeed_S(h, c, &speed), status::Ok);
                QCOMPARE(TQ_GetClosedLoopMoveAcceleration_S(h, c, &acceleration), status::Ok);
                // Writing back what was read proves it lies inside the channel's range; the
                // ranges end within what the application's spin boxes can show.
                QCOMPARE(TQ_SetClosedLoopMoveSpeed_S(h, c, speed), status::Ok);
                QCOMPARE(TQ_SetClosedLoopMoveAcceleration_S(h, c, acceleration), status::Ok);
                QCOMPARE(TQ_SetClosedLoopMoveSpeed_S(h, c, 100000001), status::ValueOutOfRange);
                QCOMPARE(TQ_SetClosedLoopMoveAcceleration_S(h, c, 10000001),
                         status::ValueOutOfRange);
                const uint32_t lowVibration
                        = TQ_GetChannelProperty_S(h, c, lowVibrationKey, &unused);
                nonPositioners += type != 0 ? 1 : 0;
                withoutLowVibration
                        += type == 0 && lowVibration == status::PropertyNotSupported ? 1 : 0;
                holding += TQ_Stop_S(h, c) == status::HoldingPosition ? 1 : 0;
            }
        }
        QCOMPARE(nonPositioners, 1);
        QCOMPARE(withoutLowVibration, 1);
        QCOMPARE(holding, 1);
    }

    void discovery_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<uint32_t>("expectedStatus");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("usb") << QByteArray("interface usb") << status::Ok << usbList;
        QTest::newRow("all listed")
                << QByteArray("") << status::Ok << usbList + "\nnetwork:10.0.0.2:5000";
        QTest::newRow("network") << QByteArray("interface network") << status::Ok
                                 << QByteArray("network:10.0.0.2:5000");
        QTest::newRow("case matters")
                << QByteArray("interface USB") << status::WrongOptions << QByteArray();
        QTest::newRow("unknown interface")
                << QByteArray("interface serial") << status::WrongOptions << QByteArray();
    }

    void discovery()
    {
        QFETCH(QByteArray, options);
        QFETCH(uint32_t, expectedStatus);
        QFETCH(QByteArray, expected);
        uint32_t st = 0;
        QCOMPARE(discover(options.constData(), &st), expected);
        QCOMPARE(st, expectedStatus);
    }

    void discoveryBuffer_data()
    {
        QTest::addColumn<QByteArray>("override"); // empty: the fleet's own answer
        QTest::addColumn<uint32_t>("size");
        QTest::addColumn<uint32_t>("expectedStatus");
        QTest::addColumn<uint32_t>("expectedSize");
        QTest::addColumn<QByteArray>("expected"); // what lands in the buffer
        const uint32_t needed = usbList.size() + 1;
        const QByteArray terminated(usbList.constData(), int(needed));
        QTest::newRow("exact fit") << QByteArray() << needed << status::Ok << needed << terminated;
        QTest::newRow("roomy") << QByteArray() << needed + 50 << status::Ok << needed << terminated;
        QTest::newRow("one byte short")
                << QByteArray() << needed - 1 << status::BufferTooSmall << needed << QByteArray();
        QTest::newRow("no room") << QByteArray() << 0u << status::BufferTooSmall << needed
                                 << QByteArray();
        QTest::newRow("override, no terminator")
                << QByteArray("usb:id:1") << 64u << status::Ok << 8u << QByteArray("usb:id:1");
        QTest::newRow("override cut to buffer")
                << QByteArray(100, 'x') << 10u << status::Ok << 10u << QByteArray(10, 'x');
        const QByteArray binary("a\0\xff\xfe\n", 5);
        QTest::newRow("override, binary") << binary << 64u << status::Ok << 5u << binary;
    }

    void discoveryBuffer()
    {
        QFETCH(QByteArray, override);
        QFETCH(uint32_t, size);
        QFETCH(uint32_t, expectedStatus);
        QFETCH(uint32_t, expectedSize);
        QFETCH(QByteArray, expected);
        setDiscoveryOverride(override.toStdString(), !override.isEmpty());
        QByteArray buffer(int(size) + 32, '\xAA'); // guard region past the size handed over
        uint32_t ioSize = size;
        QCOMPARE(TQ_FindSystems("interface usb", buffer.data(), &ioSize), expectedStatus);
        QCOMPARE(ioSize, expectedSize);
        QCOMPARE(buffer.left(expected.size()), expected);
        QCOMPARE(buffer.mid(expected.size()), QByteArray(buffer.size() - expected.size(), '\xAA'));
    }

    void nullArguments()
    {
        uint32_t size = 64, handle = untouched;
        QCOMPARE(TQ_FindSystems("", nullptr, &size), status::InvalidParameter);
        QCOMPARE(TQ_FindSystems("", QByteArray(64, 0).data(), nullptr), status::InvalidParameter);
        QCOMPARE(TQ_OpenSystem(&handle, nullptr, ""), status::InvalidParameter);
        QCOMPARE(TQ_GetStatusInfo(0, nullptr), status::InvalidParameter);
        QCOMPARE(TQ_GetClosedLoopMoveSpeed_S(openHandle("usb:id:1001"), 0, nullptr),
                 status::InvalidParameter);
        QCOMPARE(handle, untouched);
    }

    void openSystem_data()
    {
        QTest::addColumn<QByteArray>("locator");
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<uint32_t>("expectedStatus");
        QTest::newRow("usb") << QByteArray("usb:id:1001") << QByteArray("") << status::Ok;
        QTest::newRow("sync") << QByteArray("usb:id:1002") << QByteArray("sync") << status::Ok;
        QTest::newRow("unlisted") << QByteArray("network:10.0.0.1:5000") << QByteArray("")
                                  << status::Ok;
        QTest::newRow("unknown") << QByteArray("usb:id:9999") << QByteArray("")
                                 << status::UnknownLocator;
        QTest::newRow("prefix only")
                << QByteArray("usb:id:100") << QByteArray("") << status::UnknownLocator;
        QTest::newRow("bad options")
                << QByteArray("usb:id:1001") << QByteArray("async") << status::WrongOptions;
    }

    void openSystem()
    {
        QFETCH(QByteArray, locator);
        QFETCH(QByteArray, options);
        QFETCH(uint32_t, expectedStatus);
        uint32_t first = untouched, second = untouched;
        QCOMPARE(TQ_OpenSystem(&first, locator, options), expectedStatus);
        if (expectedStatus != status::Ok) {
            QCOMPARE(first, untouched);
            return;
        }
        QCOMPARE(TQ_OpenSystem(&second, locator, options), status::AlreadyOpen);
        QCOMPARE(TQ_CloseSystem(first), status::Ok);
        QCOMPARE(TQ_OpenSystem(&second, locator, options), status::Ok);
        QVERIFY(second > first); // a stale handle never comes back to life
        QCOMPARE(TQ_CloseSystem(first), status::InvalidSystemIndex);
    }

    void indices_data()
    {
        QTest::addColumn<QString>("function");
        for (const QString &function : handleCalls)
            QTest::newRow(qPrintable(function)) << function;
    }

    void indices()
    {
        QFETCH(QString, function);
        const uint32_t handle = openHandle("usb:id:1002"); // one channel
        uint32_t out = 0;
        if (!function.contains("CloseSystem") && !function.contains("NumberOfChannels")) {
            QCOMPARE(callByName(function, handle, 1, &out), status::InvalidChannelIndex);
            QCOMPARE(callByName(function, handle, 0, &out), status::Ok);
        }
        QCOMPARE(TQ_CloseSystem(handle), status::Ok);
        QCOMPARE(callByName(function, handle, 0, &out), status::InvalidSystemIndex);
        QCOMPARE(callByName(function, 0, 0, &out), status::InvalidSystemIndex);
    }

    void ranges_data()
    {
        QTest::addColumn<bool>("isSpeed");
        QTest::addColumn<uint32_t>("value");
        QTest::addColumn<uint32_t>("expectedStatus");
        QTest::newRow("speed at min") << true << 1000u << status::Ok;
        QTest::newRow("speed at max") << true << 9000u << status::Ok;
        QTest::newRow("speed below min") << true << 999u << status::ValueOutOfRange;
        QTest::newRow("speed above max") << true << 9001u << status::ValueOutOfRange;
        QTest::newRow("acceleration at min") << false << 100u << status::Ok;
        QTest::newRow("acceleration below min") << false << 99u << status::ValueOutOfRange;
        QTest::newRow("acceleration above max") << false << 501u << status::ValueOutOfRange;
    }

    void ranges()
    {
        QFETCH(bool, isSpeed);
        QFETCH(uint32_t, value);
        QFETCH(uint32_t, expectedStatus);
        const auto set = isSpeed ? TQ_SetClosedLoopMoveSpeed_S : TQ_SetClosedLoopMoveAcceleration_S;
        const auto get = isSpeed ? TQ_GetClosedLoopMoveSpeed_S : TQ_GetClosedLoopMoveAcceleration_S;
        uint32_t handle = openHandle("usb:id:1001");
        QCOMPARE(set(handle, 0, value), expectedStatus);
        // Written values outlive the handle.
        QCOMPARE(TQ_CloseSystem(handle), status::Ok);
        handle = openHandle("usb:id:1001");
        uint32_t readBack = 0;
        QCOMPARE(get(handle, 0, &readBack), status::Ok);
        QCOMPARE(readBack, expectedStatus == status::Ok ? value : (isSpeed ? 5000u : 300u));
    }

    void lowVibration_data()
    {
        QTest::addColumn<QByteArray>("locator");
        QTest::addColumn<uint32_t>("channel");
        QTest::addColumn<uint32_t>("property"); // TQ_EPK(1, 2, property)
        QTest::addColumn<int>("write");         // -1 only reads
        QTest::addColumn<uint32_t>("expectedStatus");
        QTest::addColumn<uint32_t>("expectedValue"); // read afterwards
        const QByteArray on("usb:id:1002"), unsupported("usb:id:1001");
        QTest::newRow("read") << on << 0u << 1u << -1 << status::Ok << 1u;
        QTest::newRow("switch off") << on << 0u << 1u << 0 << status::Ok << 0u;
        QTest::newRow("not a switch") << on << 0u << 1u << 2 << status::ValueOutOfRange << 1u;
        QTest::newRow("read unsupported")
                << unsupported << 1u << 1u << -1 << status::PropertyNotSupported << untouched;
        QTest::newRow("write unsupported")
                << unsupported << 1u << 1u << 1 << status::PropertyNotSupported << untouched;
        QTest::newRow("read unknown key")
                << on << 0u << 2u << -1 << status::InvalidParameter << untouched;
        QTest::newRow("write unknown key") << on << 0u << 2u << 0 << status::InvalidParameter << 1u;
    }

    void lowVibration()
    {
        QFETCH(QByteArray, locator);
        QFETCH(uint32_t, channel);
        QFETCH(uint32_t, property);
        QFETCH(int, write);
        QFETCH(uint32_t, expectedStatus);
        QFETCH(uint32_t, expectedValue);
        QCOMPARE(TQ_EPK(1, 2, 1), lowVibrationKey);
        const uint32_t key = TQ_EPK(1, 2, property);
        const uint32_t handle = openHandle(locator.constData());
        uint32_t value = untouched;
        if (write >= 0) {
            QCOMPARE(TQ_SetChannelProperty_S(handle, channel, key, uint32_t(write)),
                     expectedStatus);
            TQ_GetChannelProperty_S(handle, channel, lowVibrationKey, &value);
        } else {
            QCOMPARE(TQ_GetChannelProperty_S(handle, channel, key, &value), expectedStatus);
        }
        QCOMPARE(value, expectedValue);
    }

    void stop()
    {
        const uint32_t handle = openHandle("usb:id:1001");
        QCOMPARE(TQ_Stop_S(handle, 0), status::Ok);
        QCOMPARE(TQ_Stop_S(handle, 1), status::HoldingPosition);
    }

    void statusInfo_data()
    {
        QTest::addColumn<uint32_t>("code");
        QTest::addColumn<QByteArray>("expected"); // empty: unknown, null text
        QTest::newRow("success") << 0u << QByteArray("No error");
        QTest::newRow("not supported") << 155u << QByteArray("not supported");
        QTest::newRow("out of range") << 20u << QByteArray("out of range");
        QTest::newRow("unknown") << 0xFFFFFFFFu << QByteArray();
        QTest::newRow("unused number") << 154u << QByteArray();
    }

    void statusInfo()
    {
        QFETCH(uint32_t, code);
        QFETCH(QByteArray, expected);
        const char *info = "sentinel";
        QCOMPARE(TQ_GetStatusInfo(code, &info) == status::Ok, !expected.isEmpty());
        QCOMPARE(info == nullptr, expected.isEmpty());
        if (info != nullptr)
            QVERIFY2(QByteArray(info).contains(expected), info);
    }

    void configFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<uint32_t>("expectedStatus");
        QTest::addColumn<QByteArray>("expectedText");
        QTest::addColumn<QString>("special"); // "fifo", or a path to use instead of the file
        QTest::newRow("valid") << QByteArray(R"({"systems": [{"locator": "usb:id:4242"}]})")
                               << status::Ok << QByteArray("usb:id:4242") << QString();
        QTest::newRow("malformed") << QByteArray(R"({"systems": [)") << status::ConfigurationError
                                   << QByteArray("not valid JSON") << QString();
        QTest::newRow("missing") << QByteArray() << status::ConfigurationError
                                 << QByteArray("No such file") << QString();
        QTest::newRow("wrong type") << QByteArray(R"({"systems": [{"locator": "usb:id:1",
                                                     "channels": [{"speed": "fast"}]}]})")
                                    << status::ConfigurationError
                                    << QByteArray("systems[0].channels[0].speed") << QString();
        const QByteArray speedIs
                = R"({"systems": [{"locator": "usb:id:1", "channels": [{"speed": )";
        const QByteArray end = "}]}]}";
        QTest::newRow("FIFO") << QByteArray() << status::ConfigurationError
                              << QByteArray("not a regular file") << "fifo";
        QTest::newRow("endless device") << QByteArray() << status::ConfigurationError
                                        << QByteArray("not a regular file") << "/dev/zero";
        QTest::newRow("5 MiB") << QByteArray(5 << 20, ' ') << status::ConfigurationError
                               << QByteArray("larger than 4194304 bytes") << QString();
        QTest::newRow("nested 50000 deep")
                << speedIs + QByteArray(50000, '[') + QByteArray(50000, ']') + end
                << status::ConfigurationError << QByteArray("nest deeper than 32") << QString();
        // Linear work: refused in well under the wait below (before, 80,000 took minutes).
        const QByteArray systems = R"({"systems": [)";
        QTest::newRow("80,000 empty objects")
                << systems + QByteArray("{},").repeated(80000) + "{}]}"
                << status::ConfigurationError << QByteArray("locator") << QString();
        QTest::newRow("4 MiB of empty objects")
                << systems + QByteArray("{},").repeated(1398000) + "{}]}"
                << status::ConfigurationError << QByteArray("locator") << QString();
        QTest::newRow("3 MB string of the wrong type")
                << speedIs + "\"" + QByteArray(3000000, 'x') + "\"" + end
                << status::ConfigurationError
                << QByteArray("systems[0].channels[0].speed: expected a whole number") << QString();
        QTest::newRow("latency of 71 minutes")
                << QByteArray(R"({"latencyMicroseconds": 4294967295, "systems": []})")
                << status::ConfigurationError
                << QByteArray("latencyMicroseconds: 4294967295 is above the limit of 1000000")
                << QString();
    }

    void configFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(uint32_t, expectedStatus);
        QFETCH(QByteArray, expectedText);
        QFETCH(QString, special);
        QTemporaryDir dir;
        QString path = dir.filePath("fleet.json");
        QFile file(path);
        if (special == QLatin1String("fifo"))
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (!special.isEmpty())
            path = special;
        if (!content.isEmpty()) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(content), content.size());
            file.close();
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NEXILCONTROL_SIM_CONFIG", path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--discover"});
        if (!child.waitForFinished(30000)) {
            child.kill();
            child.waitForFinished();
            QFAIL("the first call did not return");
        }
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        const QList<QByteArray> out = child.readAllStandardOutput().split('\n');
        const QByteArray err = child.readAllStandardError();
        QCOMPARE(out.value(0).toUInt(), expectedStatus);
        QVERIFY2(out.value(1).contains(expectedText), out.value(1).left(1000));
        // A short reason, not a dump of what the file holds.
        QVERIFY2(out.value(1).size() < 500 && err.size() < 600, out.value(1).left(1000));
        // Every later call reports the broken configuration as well.
        QCOMPARE(out.value(2).toUInt(),
                 expectedStatus == status::Ok ? status::UnknownLocator : expectedStatus);
        if (expectedStatus == status::Ok) {
            QCOMPARE(err, QByteArray());
            return;
        }
        QVERIFY2(out.value(1).contains(path.toUtf8()), out.value(1));
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.contains(path.toUtf8()) && err.contains(expectedText), err);
    }

    void badFleet_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("reason");
        const QByteArray pre = R"({"systems": [{"locator": "usb:id:1", "channels": [{)";
        QTest::newRow("negative") << pre + R"("speed": -1}]}]})" << QByteArray("[0].speed");
        QTest::newRow("outside range") << pre + R"("speed": 10, "speedRange": [20, 30]}]}]})"
                                       << QByteArray("outside speedRange");
        QTest::newRow("inverted range")
                << pre + R"("speedRange": [30, 20]}]}]})" << QByteArray("greater than max");
        QTest::newRow("low vibration")
                << pre + R"("lowVibration": "maybe"}]}]})" << QByteArray("lowVibration");
        QTest::newRow("typo") << pre + R"("sped": 1}]}]})" << QByteArray("unknown key \"sped\"");
        QTest::newRow("holding") << pre + R"("holding": 1}]}]})" << QByteArray("holding");
        QTest::newRow("duplicate")
                << QByteArray(R"({"systems": [{"locator": "usb:id:1"}, {"locator": "usb:id:1"}]})")
                << QByteArray("more than once");
        QTest::newRow("no locator")
                << QByteArray(R"({"systems": [{"listed": true}]})") << QByteArray("locator");
        QTest::newRow("latency") << QByteArray(R"({"latencyMicroseconds": 1e9, "systems": []})")
                                 << QByteArray("latencyMicroseconds");
        QTest::newRow("nested 50000 deep")
                << pre + R"("speed": )" + QByteArray(50000, '[') + QByteArray(50000, ']') + "}]}]}"
                << QByteArray("nest deeper than 32");
        QTest::newRow("8 MB string of the wrong type")
                << pre + "\"speed\": \"" + QByteArray(8000000, 'x') + "\"}]}]}"
                << QByteArray("[0].speed: expected a whole number");
        QTest::newRow("8 MB key") << pre + "\"" + QByteArray(8000000, 'k') + "\": 1}]}]}"
                                  << QByteArray("unknown key \"kkkk");
    }

    void badFleet()
    {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, reason);
        QCOMPARE(loadFleet(json.toStdString()), status::ConfigurationError);
        uint32_t st = 0, handle = untouched;
        discover("", &st);
        QCOMPARE(st, status::ConfigurationError);
        QVERIFY2(statusText(st).contains(reason), statusText(st).left(1000));
        QVERIFY2(statusText(st).size() < 500, statusText(st).left(1000));
        // Each call says the configuration is at fault, not that the locator is unknown.
        QCOMPARE(TQ_OpenSystem(&handle, "usb:id:1", ""), status::ConfigurationError);
        QCOMPARE(handle, untouched);
    }

    void logFormat_data()
    {
        QTest::addColumn<QString>("function"); // a handle call, or open, find, info or key
        QTest::addColumn<uint32_t>("channel");
        QTest::addColumn<QString>("expected"); // %1 is the open handle
        QTest::newRow("setter") << "TQ_SetClosedLoopMoveSpeed_S" << 0u
                                << "TQ_SetClosedLoopMoveSpeed_S(%1,0,6000)=0";
        QTest::newRow("failure") << "TQ_Stop_S" << 1u << "TQ_Stop_S(%1,1)=156";
        QTest::newRow("open") << "open" << 0u << "TQ_OpenSystem(usb:id:1002,sync)=0";
        QTest::newRow("find") << "find" << 0u << "TQ_FindSystems(interface usb,4096)=0";
        QTest::newRow("info") << "info" << 0u << "TQ_GetStatusInfo(155)=0";
        QTest::newRow("key") << "key" << 0u << "TQ_EPK(1,2,1)=16908289";
    }

    void logFormat()
    {
        QFETCH(QString, function);
        QFETCH(uint32_t, channel);
        QFETCH(QString, expected);
        const uint32_t handle = openHandle("usb:id:1001");
        clearCallLog();
        uint32_t out = 0;
        if (function == "open")
            openHandle("usb:id:1002");
        else if (function == "find")
            discover("interface usb", &out);
        else if (function == "info")
            statusText(155);
        else if (function == "key")
            TQ_EPK(1, 2, 1);
        else
            callByName(function, handle, channel, &out);
        const std::vector<std::string> log = callLogText();
        QCOMPARE(log.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(log[0]), expected.replace("%1", QString::number(handle)));
    }

    void injectedFailures_data() { indices_data(); }

    void injectedFailures()
    {
        QFETCH(QString, function);
        const uint32_t handle = openHandle("usb:id:1001");
        int hookCalls = 0, valueHookCalls = 0;
        setFaultHook([&](const std::string &name) {
            if (name != function.toStdString())
                return status::Ok;
            ++hookCalls;
            return status::OtherError;
        });
        setValueHook([&](const std::string &name, uint32_t *value) {
            if (name == function.toStdString())
                ++valueHookCalls;
            *value = 42;
            return true;
        });
        failNext(function.toStdString(), status::CommunicationError, 2);
        // Queued faults come before the hook; neither lets the call do anything.
        uint32_t out = untouched;
        QCOMPARE(callByName(function, handle, 0, &out), status::CommunicationError);
        QCOMPARE(callByName(function, handle, 0, &out), status::CommunicationError);
        QCOMPARE(hookCalls, 0);
        QCOMPARE(callByName(function, handle, 0, &out), status::OtherError);
        QCOMPARE(hookCalls, 1);
        QCOMPARE(out, untouched);
        ChannelState state{};
        QVERIFY(channelState("usb:id:1001", 0, &state));
        QCOMPARE(state.speed, 5000u);
        QCOMPARE(state.acceleration, 300u);
        QCOMPARE(state.lowVibration, 0);
        setFaultHook(nullptr);
        QCOMPARE(callByName(function, handle, 0, &out), status::Ok);
        // Only a successful read goes past the value hook.
        const bool isGetter = function.contains("Get");
        QCOMPARE(valueHookCalls, isGetter ? 1 : 0);
        QCOMPARE(out, isGetter ? 42u : untouched);
        QList<uint32_t> logged;
        for (const Call &entry : callLog()) {
            if (entry.function == function.toStdString())
                logged << entry.result;
        }
        QCOMPARE(logged, QList<uint32_t>({32, 32, 1, 0}));
    }

    void failedCallsKeepOutputs()
    {
        failNext("TQ_GetStatusInfo", status::OtherError);
        failNext("TQ_FindSystems", status::CommunicationError);
        const char *info = "sentinel";
        QCOMPARE(TQ_GetStatusInfo(0, &info), status::OtherError);
        QCOMPARE(info, "sentinel");
        char buffer[64] = "sentinel";
        uint32_t size = sizeof buffer;
        QCOMPARE(TQ_FindSystems("", buffer, &size), status::CommunicationError);
        QCOMPARE(size, uint32_t(sizeof buffer));
        QCOMPARE(QByteArray(buffer), QByteArray("sentinel"));
    }

    void hostileStatusTexts()
    {
        const std::string huge(65536, 'w');
        setStatusText(20, huge);
        const char *first = nullptr;
        TQ_GetStatusInfo(20, &first);
        setStatusText(20, "<b>%1</b> \xff");
        setStatusText(77, "made up");
        QCOMPARE(QByteArray(first), QByteArray::fromStdString(huge)); // still valid
        QCOMPARE(statusText(20), QByteArray("<b>%1</b> \xff"));
        QCOMPARE(statusText(77), QByteArray("made up"));
        setNullStatusInfo(true);
        QCOMPARE(TQ_GetStatusInfo(0, &first), status::Ok);
        QCOMPARE(first, nullptr);
        clearFaults();
        QCOMPARE(statusText(77), QByteArray());
    }

    void latency()
    {
        const uint32_t handle = openHandle("usb:id:1001");
        setLatencyMicroseconds(3000);
        failNext("TQ_Stop_S", status::CommunicationError);
        for (const uint32_t expected : {status::CommunicationError, status::Ok}) {
            const auto start = std::chrono::steady_clock::now();
            QCOMPARE(TQ_Stop_S(handle, 0), expected);
            QVERIFY(std::chrono::steady_clock::now() - start >= std::chrono::microseconds(3000));
        }
    }

    void loadFleetResets()
    {
        const uint32_t handle = openHandle("usb:id:1001");
        QCOMPARE(TQ_SetClosedLoopMoveSpeed_S(handle, 0, 7000), status::Ok);
        failNext("TQ_OpenSystem", status::OtherError);
        setLatencyMicroseconds(200000);
        QCOMPARE(loadFleet(testFleet), status::Ok);
        QVERIFY(callLog().empty());
        uint32_t count = 0;
        QCOMPARE(TQ_GetNumberOfChannels(handle, &count), status::InvalidSystemIndex);
        const auto start = std::chrono::steady_clock::now();
        QVERIFY(openHandle("usb:id:1001") > handle);
        QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200));
        ChannelState state{};
        QVERIFY(channelState("usb:id:1001", 0, &state));
        QCOMPARE(state.speed, 5000u);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--discover") == 0)
        return discoverInChild();
    QCoreApplication app(argc, argv);
    tst_Simulator test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_simulator.moc"
