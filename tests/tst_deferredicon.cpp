// Icons made from files read their images on first use; what they show, report and stream must
// be exactly what the toolkit's own icons give for the same files.
#include "deferredicon.h"
#include "velotune.h"

#include <QBuffer>
#include <QDataStream>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kBase = QStringLiteral(":/ostrel/Resources/GuiResources/");

struct Part
{
    QString file; // empty: a pixmap of `pixmapSide` pixels
    QIcon::Mode mode;
    QIcon::State state;
    int pixmapSide;
};

using Parts = QVector<Part>;

QIcon build(const Parts &parts)
{
    QIcon icon;
    for (const Part &part : parts) {
        if (part.file.isEmpty()) {
            QPixmap pixmap(part.pixmapSide, part.pixmapSide);
            pixmap.fill(QColor(10, 200, 30, 128));
            icon.addPixmap(pixmap, part.mode, part.state);
        } else {
            icon.addFile(part.file, QSize(), part.mode, part.state);
        }
    }
    return icon;
}

QIcon buildEager(const Parts &parts)
{
    const deferredicon::EagerScope eager;
    return build(parts);
}

const QIcon::Mode kModes[] = {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected};
const QIcon::State kStates[] = {QIcon::Off, QIcon::On};
const int kSides[] = {16, 22, 32, 48, 100, 127, 256};

QByteArray streamed(const QIcon &icon)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << icon;
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Parts)

class tst_DeferredIcon : public QObject
{
    Q_OBJECT

private slots:
    void sameAsToolkitIcon_data();
    void sameAsToolkitIcon();
    void windowShowsToolkitIcons_data();
    void windowShowsToolkitIcons();
};

void tst_DeferredIcon::sameAsToolkitIcon_data()
{
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<bool>("onFirst"); // ask for the "on" state before anything else

    const QString ico = kBase + "CorporateDesign/DefaultAppIcon.ico";
    const QString off = kBase + "Icons/LED/Flat/RoundGreenOff.png";
    const QString on = kBase + "Icons/LED/Flat/RoundGreenOn.png";
    const QString cycle = kBase + "Icons/Arrow/Green/CycleGreen.png";
    const Parts led = {{off, QIcon::Normal, QIcon::Off, 0}, {on, QIcon::Normal, QIcon::On, 0}};

    QTest::newRow("application icon") << Parts{{ico, QIcon::Normal, QIcon::Off, 0}} << false;
    QTest::newRow("LED, off first") << led << false;
    QTest::newRow("LED, on first") << led << true;
    QTest::newRow("cycle") << Parts{{cycle, QIcon::Normal, QIcon::Off, 0}} << true;
    QTest::newRow("own disabled image")
            << Parts{{off, QIcon::Normal, QIcon::Off, 0}, {cycle, QIcon::Disabled, QIcon::Off, 0}}
            << false;
    QTest::newRow("active image") << Parts{{on, QIcon::Normal, QIcon::On, 0},
                                           {off, QIcon::Active, QIcon::Off, 0}}
                                  << false;
    QTest::newRow("selected image")
            << Parts{{cycle, QIcon::Selected, QIcon::On, 0}, {off, QIcon::Disabled, QIcon::Off, 0}}
            << true;
    QTest::newRow("pixmap replaces same size") << Parts{{off, QIcon::Normal, QIcon::Off, 0},
                                                        {QString(), QIcon::Normal, QIcon::Off, 127},
                                                        {QString(), QIcon::Normal, QIcon::Off, 16}}
                                               << false;
    QTest::newRow("two files, one state")
            << Parts{{ico, QIcon::Normal, QIcon::On, 0}, {cycle, QIcon::Normal, QIcon::On, 0}}
            << false;
    QTest::newRow("missing file") << Parts{{kBase + "Icons/none.png", QIcon::Normal, QIcon::Off, 0}}
                                  << false;
    QTest::newRow("missing then real")
            << Parts{{kBase + "Icons/none.png", QIcon::Normal, QIcon::Off, 0},
                     {on, QIcon::Normal, QIcon::On, 0}}
            << true;
}

void tst_DeferredIcon::sameAsToolkitIcon()
{
    QFETCH(Parts, parts);
    QFETCH(bool, onFirst);

    const QIcon expected = buildEager(parts);
    QIcon icon = build(parts);
    QCOMPARE(icon.isNull(), expected.isNull());
    if (onFirst)
        QCOMPARE(icon.pixmap(32, QIcon::Normal, QIcon::On).toImage(),
                 expected.pixmap(32, QIcon::Normal, QIcon::On).toImage());

    for (const QIcon::State state : kStates) {
        for (const QIcon::Mode mode : kModes) {
            const QByteArray where
                    = QByteArray::number(int(mode)) + "/" + QByteArray::number(int(state));
            QVERIFY2(icon.availableSizes(mode, state) == expected.availableSizes(mode, state),
                     where.constData());
            for (const int side : kSides) {
                const QSize size(side, side);
                QCOMPARE(icon.actualSize(size, mode, state),
                         expected.actualSize(size, mode, state));
                QCOMPARE(icon.pixmap(size, mode, state).toImage(),
                         expected.pixmap(size, mode, state).toImage());
            }
        }
    }
    QCOMPARE(streamed(icon), streamed(expected));

    // A copy changed after reading goes its own way, as the toolkit's does; an image added to a
    // state already read joins it.
    QIcon copy = icon;
    QIcon expectedCopy = expected;
    for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Active}) {
        copy.addFile(kBase + "Icons/Arrow/Green/CycleGreen.png", QSize(), mode, QIcon::Off);
        expectedCopy.addFile(kBase + "Icons/Arrow/Green/CycleGreen.png", QSize(), mode, QIcon::Off);
        QCOMPARE(copy.availableSizes(mode, QIcon::Off),
                 expectedCopy.availableSizes(mode, QIcon::Off));
        for (const int side : kSides) {
            QCOMPARE(copy.pixmap(side, mode, QIcon::Off).toImage(),
                     expectedCopy.pixmap(side, mode, QIcon::Off).toImage());
        }
        QCOMPARE(icon.availableSizes(mode, QIcon::Off), expected.availableSizes(mode, QIcon::Off));
    }
    QCOMPARE(streamed(copy), streamed(expectedCopy));
}

void tst_DeferredIcon::windowShowsToolkitIcons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("connect, released") << "pbConnect" << false << true;
    QTest::newRow("connect, pressed in") << "pbConnect" << true << true;
    QTest::newRow("low vibration, disabled") << "pbLowVibration" << false << false;
    QTest::newRow("low vibration, on") << "pbLowVibration" << true << true;
    QTest::newRow("refresh") << "pbRefresh" << false << true;
}

// The buttons as the user sees them, against the same buttons given the toolkit's own icons.
void tst_DeferredIcon::windowShowsToolkitIcons()
{
    QFETCH(QString, button);
    QFETCH(bool, checked);
    QFETCH(bool, enabled);

    Velotune window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *pb = window.findChild<QPushButton *>(button);
    QVERIFY(pb);
    window.findChild<QWidget *>(QStringLiteral("gbConfiguration"))->setEnabled(enabled);
    pb->setEnabled(enabled);
    pb->setChecked(checked);
    const QImage shown = pb->grab().toImage();

    Parts parts;
    if (button == QLatin1String("pbRefresh")) {
        parts = {{kBase + "Icons/Arrow/Green/CycleGreen.png", QIcon::Normal, QIcon::Off, 0}};
    } else {
        parts = {{kBase + "Icons/LED/Flat/RoundGreenOff.png", QIcon::Normal, QIcon::Off, 0},
                 {kBase + "Icons/LED/Flat/RoundGreenOn.png", QIcon::Normal, QIcon::On, 0}};
    }
    pb->setIcon(buildEager(parts));
    QCOMPARE(shown, pb->grab().toImage());

    const QIcon appIcon = buildEager(
            {{kBase + "CorporateDesign/DefaultAppIcon.ico", QIcon::Normal, QIcon::Off, 0}});
    QCOMPARE(window.windowIcon().availableSizes(), appIcon.availableSizes());
    for (const QSize &size : appIcon.availableSizes())
        QCOMPARE(window.windowIcon().pixmap(size).toImage(), appIcon.pixmap(size).toImage());
}

QTEST_MAIN(tst_DeferredIcon)
#include "tst_deferredicon.moc"
