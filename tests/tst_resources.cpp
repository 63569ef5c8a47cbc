// The artwork compiled in from Resources/GuiResources/GuiResources.qrc: every
// path the program uses resolves, decodes to the expected image, is stored
// uncompressed, and the application icon carries its twelve images in order.

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QResource>
#include <QtEndian>
#include <QtTest>

namespace {

const QString kBase = QStringLiteral(":/ostrel/Resources/GuiResources/");
const QString kIco = kBase + QStringLiteral("CorporateDesign/DefaultAppIcon.ico");
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

quint16 u16(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 u32(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

void addAllPaths()
{
    QTest::addColumn<QString>("path");
    for (const char *p :
         {"Icons/LED/Flat/RoundGreenOff.png", "Icons/LED/Flat/RoundGreenOn.png",
          "Icons/Arrow/Green/CycleGreen.png", "CorporateDesign/CorporateLogo-Trans-Large.png",
          "CorporateDesign/DefaultAppIcon.ico", "CorporateDesign/CorporateLogoAdjustedLarge.png"})
        QTest::newRow(p) << kBase + QLatin1String(p);
}

} // namespace

class tst_Resources : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void storedUncompressed_data() { addAllPaths(); }
    void storedUncompressed();
    void ledsReadAsOffAndOn();
    void iconDirectoryHeader();
    void iconEntry_data();
    void iconEntry();
    void nearMissFindsNothing_data();
    void nearMissFindsNothing();
};

void tst_Resources::decodes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("opaqueAt"); // a pixel of the artwork itself

    const QByteArray png("png");
    QTest::newRow("led off") << kBase + "Icons/LED/Flat/RoundGreenOff.png" << png << QSize(127, 127)
                             << QPoint(63, 63);
    QTest::newRow("led on") << kBase + "Icons/LED/Flat/RoundGreenOn.png" << png << QSize(127, 127)
                            << QPoint(63, 63);
    QTest::newRow("cycle") << kBase + "Icons/Arrow/Green/CycleGreen.png" << png << QSize(148, 148)
                           << QPoint(74, 74);
    QTest::newRow("logo") << kBase + "CorporateDesign/CorporateLogo-Trans-Large.png" << png
                          << QSize(336, 345) << QPoint(168, 172);
    QTest::newRow("app icon") << kIco << QByteArray("ico") << QSize(256, 256) << QPoint(128, 128);
    // The About dialog scales its logo into 400 x 101; anything else gets blurred.
    QTest::newRow("wide logo") << kBase + "CorporateDesign/CorporateLogoAdjustedLarge.png" << png
                               << QSize(400, 101) << QPoint(50, 50);
}

void tst_Resources::decodes()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QPoint, opaqueAt);

    QImageReader reader(path);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(opaqueAt)), 255);
}

void tst_Resources::storedUncompressed()
{
    QFETCH(QString, path);
    const QResource resource(path);
    QVERIFY(resource.isValid());
#if QT_VERSION >= QT_VERSION_CHECK(5, 13, 0)
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
#else
    QVERIFY(!resource.isCompressed());
#endif
    QVERIFY(resource.size() > 0);
}

void tst_Resources::ledsReadAsOffAndOn()
{
    const QImage off(kBase + "Icons/LED/Flat/RoundGreenOff.png");
    const QImage on(kBase + "Icons/LED/Flat/RoundGreenOn.png");
    QVERIFY(!off.isNull() && !on.isNull());
    // Told apart at 16 px: the lit one must be far lighter, and both green.
    const QColor offColor = off.pixelColor(63, 63), onColor = on.pixelColor(63, 63);
    QVERIFY2(onColor.lightness() - offColor.lightness() > 80,
             qPrintable(QStringLiteral("off %1, on %2").arg(offColor.name(), onColor.name())));
    for (const QColor &c : {offColor, onColor})
        QVERIFY2(c.green() > c.red() && c.green() > c.blue(), qPrintable(c.name()));
}

void tst_Resources::iconDirectoryHeader()
{
    QFile file(kIco);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    QVERIFY(ico.size() > 6 + 12 * 16);
    QCOMPARE(u16(ico, 0), quint16(0));
    QCOMPARE(u16(ico, 2), quint16(1)); // 1 = icon, 2 = cursor
    QCOMPARE(u16(ico, 4), quint16(12));

    // Images follow the directory back to back, in directory order.
    quint32 expected = 6 + 12 * 16;
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(u32(ico, 6 + 16 * i + 12), expected);
        expected += u32(ico, 6 + 16 * i + 8);
    }
    QCOMPARE(expected, quint32(ico.size()));

    QImageReader reader(kIco);
    QCOMPARE(reader.imageCount(), 12);
}

void tst_Resources::iconEntry_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("png");

    const int pngBits[] = {4, 8, 32};
    for (int i = 0; i < 3; ++i)
        QTest::addRow("%d: 256 px %d-bit png", i + 1, pngBits[i]) << i << 256 << pngBits[i] << true;
    int index = 3;
    for (int bits : {4, 8, 32})
        for (int side : {16, 32, 48}) {
            QTest::addRow("%d: %d px %d-bit bmp", index + 1, side, bits)
                    << index << side << bits << false;
            ++index;
        }
}

void tst_Resources::iconEntry()
{
    QFETCH(int, index);
    QFETCH(int, side);
    QFETCH(int, bits);
    QFETCH(bool, png);

    QFile file(kIco);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ico = file.readAll();
    const int entry = 6 + 16 * index;
    QVERIFY(ico.size() >= entry + 16);

    const auto dim = [](quint8 b) { return b == 0 ? 256 : int(b); };
    QCOMPARE(dim(quint8(ico[entry])), side);
    QCOMPARE(dim(quint8(ico[entry + 1])), side);
    QCOMPARE(int(quint8(ico[entry + 2])), bits == 4 ? 16 : 0);
    QCOMPARE(u16(ico, entry + 4), quint16(1));
    QCOMPARE(int(u16(ico, entry + 6)), bits);

    const quint32 size = u32(ico, entry + 8), offset = u32(ico, entry + 12);
    QVERIFY(offset + size <= quint32(ico.size()));
    const QByteArray data = ico.mid(int(offset), int(size));
    QCOMPARE(data.startsWith(kPngSignature), png);

    if (png) {
        // IHDR: width, height, bit depth, colour type (3 = palette, 6 = RGBA).
        QCOMPARE(data.mid(12, 4), QByteArray("IHDR"));
        QCOMPARE(int(qFromBigEndian<quint32>(data.constData() + 16)), side);
        QCOMPARE(int(qFromBigEndian<quint32>(data.constData() + 20)), side);
        QCOMPARE(int(quint8(data[24])), bits == 32 ? 8 : bits);
        QCOMPARE(int(quint8(data[25])), bits == 32 ? 6 : 3);
        return;
    }
    // Icon DIB: double height covers the AND mask that follows the colour rows.
    QCOMPARE(u32(data, 0), quint32(40));
    QCOMPARE(int(u32(data, 4)), side);
    QCOMPARE(int(u32(data, 8)), 2 * side);
    QCOMPARE(int(u16(data, 14)), bits);
    const int palette = bits <= 8 ? 4 << bits : 0;
    const int xorRow = (side * bits + 31) / 32 * 4, andRow = (side + 31) / 32 * 4;
    QCOMPARE(int(size), 40 + palette + side * (xorRow + andRow));
}

void tst_Resources::nearMissFindsNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("twin"); // the real path it was derived from

    const QString off = kBase + "Icons/LED/Flat/RoundGreenOff.png";
    const QString cycle = kBase + "Icons/Arrow/Green/CycleGreen.png";
    const QString logo = kBase + "CorporateDesign/CorporateLogo-Trans-Large.png";
    QTest::newRow("extension upper case") << kBase + "Icons/Arrow/Green/CycleGreen.PNG" << cycle;
    QTest::newRow("trailing space") << off + " " << off;
    QTest::newRow("one letter dropped") << kBase + "Icons/LED/Flat/RoundGreenOf.png" << off;
    QTest::newRow("folder lower case") << kBase + "Icons/led/Flat/RoundGreenOff.png" << off;
    QTest::newRow("name lower case") << kBase + "Icons/Arrow/Green/cycleGreen.png" << cycle;
    QTest::newRow("ico as png") << kBase + "CorporateDesign/DefaultAppIcon.png" << kIco;
    QTest::newRow("hyphen dropped")
            << kBase + "CorporateDesign/CorporateLogoTrans-Large.png" << logo;
    QTest::newRow("prefix upper case")
            << ":/Ostrel/Resources/GuiResources/Icons/LED/Flat/RoundGreenOff.png" << off;
    QTest::newRow("prefix missing")
            << ":/Resources/GuiResources/Icons/LED/Flat/RoundGreenOff.png" << off;
    QTest::newRow("file path without alias") << ":/ostrel/Icons/LED/Flat/RoundGreenOff.png" << off;
}

void tst_Resources::nearMissFindsNothing()
{
    QFETCH(QString, path);
    QFETCH(QString, twin);
    QVERIFY2(QFile::exists(twin), qPrintable(twin));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!QResource(path).isValid());
    QVERIFY(QImage(path).isNull());
}

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
