// The About dialog as the user meets it, and the artwork both windows show.

#include "about.h"
#include "aboutlibrary.h"
#include "testutils.h"
#include "velotune.h"
#include "version.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

using testutils::child;

namespace {

const QString kBase = QStringLiteral(":/ostrel/Resources/GuiResources/");

// Stands in for the desktop's browser: records every URL handed to it.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

QList<About *> openAboutDialogs()
{
    QList<About *> dialogs;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *about = qobject_cast<About *>(w); about && about->isVisible())
            dialogs << about;
    return dialogs;
}

// Clicks through the window system, where modality is enforced.
void clickThroughWindow(QWidget *target)
{
    QWidget *top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                      target->mapTo(top, target->rect().center()));
}

// Mean per-channel difference; images of different sizes count as completely different.
double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 255;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q))
                    + qAbs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * x.width() * x.height());
}

int pixelsNear(const QImage &image, const QColor &colour, int tolerance)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - colour.red()) + qAbs(c.green() - colour.green())
                        + qAbs(c.blue() - colour.blue())
                <= tolerance)
                ++count;
        }
    return count;
}

using CloseAction = std::function<void(About *)>;
using OpenAction = std::function<void(Velotune *)>;

} // namespace

Q_DECLARE_METATYPE(CloseAction)
Q_DECLARE_METATYPE(OpenAction)

class tst_About : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsVersion_data();
    void showsVersion();
    void fixedSize();
    void contentIsNotClipped_data();
    void contentIsNotClipped();
    void onlyOkButton();
    void closes_data();
    void closes();
    void openedFromMainWindowIsModal_data();
    void openedFromMainWindowIsModal();
    void linkIsNotOpened_data();
    void linkIsNotOpened();
    void logoShowsPicture();
    void sameWindowIconAsMainWindow_data();
    void sameWindowIconAsMainWindow();
    void ledButtonsShowCheckedState_data();
    void ledButtonsShowCheckedState();
};

void tst_About::init()
{
    testutils::programSettings().clear();
}

void tst_About::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void tst_About::showsVersion_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("patch");
    QTest::addColumn<QString>("shown");

    QTest::newRow("program version") << 1 << 2 << 7 << "1.2.7";
    QTest::newRow("two-digit minor, zero patch") << 1 << 10 << 0 << "1.10.0";
    QTest::newRow("large numbers") << 12 << 345 << 6789 << "12.345.6789";
}

void tst_About::showsVersion()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, patch);
    QFETCH(QString, shown);

    About about(major, minor, patch, aboutLibraryLine());
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));

    QCOMPARE(about.windowTitle(), QStringLiteral("About Nexil Velotune"));
    QCOMPARE(child<QLabel>(&about, "label_2")->text(), QStringLiteral("Norvane Velotune"));
    auto *caption = child<QLabel>(&about, "label_5");
    auto *version = child<QLabel>(&about, "lVersion");
    QVERIFY(caption && version);
    QCOMPARE(caption->text(), QStringLiteral("Vesion:"));
    QCOMPARE(version->text(), shown);
    QVERIFY(caption->isVisible() && version->isVisible());
    // Caption and number read as one line, caption first.
    QCOMPARE(caption->geometry().center().y(), version->geometry().center().y());
    QVERIFY(caption->geometry().right() < version->geometry().left());

    // Under the version: the library in use, which here is the simulator.
    auto *library = child<QLabel>(&about, "lLibrary");
    QVERIFY(library && library->isVisible());
    const QString file = QString::fromLocal8Bit(qgetenv("NEXILCONTROL_LIBRARY"));
    const QString prefix = QStringLiteral("Simulated controllers: ");
    QVERIFY2(library->toolTip().startsWith(prefix), qPrintable(library->toolTip()));
    // The same file, however the loader spelled its path.
    QCOMPARE(QFileInfo(library->toolTip().mid(prefix.size())).canonicalFilePath(),
             QFileInfo(file).canonicalFilePath());
    // A long path may lose its middle, never the file's name.
    QVERIFY2(library->text().startsWith(QLatin1String("Simulated controllers: /"))
                     && library->text().endsWith(QFileInfo(file).fileName()),
             qPrintable(library->text()));
    QVERIFY(library->geometry().top() > version->geometry().bottom());
    QVERIFY(library->geometry().bottom() < child<QLabel>(&about, "label_4")->geometry().top());

    for (const QLabel *label : about.findChildren<QLabel *>())
        QVERIFY2(!label->text().contains(QLatin1String("1.0.9999")),
                 qPrintable(label->objectName()));
}

void tst_About::fixedSize()
{
    About about(1, 2, 7, aboutLibraryLine());
    QCOMPARE(about.minimumSize(), QSize(438, 470));
    QCOMPARE(about.maximumSize(), QSize(438, 470));
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.size(), QSize(438, 470));

    about.resize(600, 300);
    QCOMPARE(about.size(), QSize(438, 470));
    // The window manager is told the same limits, so dragging a border does nothing either.
    QCOMPARE(about.windowHandle()->minimumSize(), QSize(438, 470));
    QCOMPARE(about.windowHandle()->maximumSize(), QSize(438, 470));
}

void tst_About::contentIsNotClipped_data()
{
    QTest::addColumn<QString>("name");

    // The logo is left out: it is scaled to whatever room it gets.
    for (const char *name : {"label_2", "label_5", "lVersion", "lLibrary", "label_4", "label_3"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_About::contentIsNotClipped()
{
    QFETCH(QString, name);

    About about(1, 2, 7, aboutLibraryLine());
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));

    auto *label = about.findChild<QLabel *>(name);
    auto *frame = about.findChild<QFrame *>(QStringLiteral("frame"));
    QVERIFY(label && frame);
    // The box cannot grow, so text that does not fit would simply be cut off.
    const QSize wanted = label->sizeHint().boundedTo(label->maximumSize());
    QVERIFY2(label->width() >= wanted.width() && label->height() >= wanted.height(),
             qPrintable(QStringLiteral("%1x%2 shown, %3x%4 needed")
                                .arg(label->width())
                                .arg(label->height())
                                .arg(wanted.width())
                                .arg(wanted.height())));
    QVERIFY(frame->contentsRect().contains(label->geometry()));
}

void tst_About::onlyOkButton()
{
    About about(1, 2, 7, aboutLibraryLine());
    auto *box = child<QDialogButtonBox>(&about, "buttonBox");
    QVERIFY(box);
    QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok);
    const QList<QAbstractButton *> buttons = about.findChildren<QAbstractButton *>();
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons.first(), box->button(QDialogButtonBox::Ok));
}

void tst_About::closes_data()
{
    QTest::addColumn<CloseAction>("close");
    QTest::addColumn<int>("result");

    QTest::newRow("OK button") << CloseAction([](About *about) {
        clickThroughWindow(about->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok));
    }) << int(QDialog::Accepted);
    QTest::newRow("Escape") << CloseAction([](About *about) {
        QTest::keyClick(about->windowHandle(), Qt::Key_Escape);
    }) << int(QDialog::Rejected);
    QTest::newRow("close request")
            << CloseAction([](About *about) { about->windowHandle()->close(); })
            << int(QDialog::Rejected);
}

void tst_About::closes()
{
    QFETCH(CloseAction, close);
    QFETCH(int, result);

    About about(1, 2, 7, aboutLibraryLine());
    bool forced = false;
    testutils::onNextModal([&](QWidget *modal) {
        // Should the action not close it, end the dialog anyway so the test does not hang.
        QTimer::singleShot(3000, modal, [&] {
            forced = true;
            about.done(-1);
        });
        (void)QTest::qWaitForWindowExposed(modal);
        close(&about);
    });
    QCOMPARE(about.exec(), result);
    QVERIFY(!forced);
    QVERIFY(!about.isVisible());
}

void tst_About::openedFromMainWindowIsModal_data()
{
    QTest::addColumn<OpenAction>("open");

    QTest::newRow("Help > About") << OpenAction([](Velotune *w) {
        auto *menuBar = w->findChild<QMenuBar *>(QStringLiteral("menuBar"));
        auto *menuHelp = w->findChild<QMenu *>(QStringLiteral("menuHelp"));
        auto *aAbout = w->findChild<QAction *>(QStringLiteral("aAbout"));
        QTest::mouseClick(menuBar, Qt::LeftButton, {},
                          menuBar->actionGeometry(menuHelp->menuAction()).center());
        if (!QTest::qWaitForWindowExposed(menuHelp))
            return;
        QTest::mouseClick(menuHelp, Qt::LeftButton, {}, menuHelp->actionGeometry(aAbout).center());
    });
    QTest::newRow("F1") << OpenAction(
            [](Velotune *w) { QTest::keyClick(w->windowHandle(), Qt::Key_F1); });
}

void tst_About::openedFromMainWindowIsModal()
{
    QFETCH(OpenAction, open);

    Velotune w;
    QVERIFY(testutils::showAndActivate(&w));
    auto *pbConnect = child<QPushButton>(&w, "pbConnect");
    auto *pbRefresh = child<QPushButton>(&w, "pbRefresh");
    QVERIFY(pbConnect && pbRefresh);
    QSignalSpy connectClicks(pbConnect, &QPushButton::clicked);
    QSignalSpy refreshClicks(pbRefresh, &QPushButton::clicked);

    struct Seen
    {
        bool handled = false;
        QString version;
        Qt::WindowModality modality = Qt::NonModal;
        bool mainBlocked = false;
        int dialogsAfterSecondTry = -1;
    } seen;

    testutils::onNextModal([&](QWidget *modal) {
        auto *about = qobject_cast<About *>(modal);
        seen.handled = true;
        if (!about) {
            modal->close();
            return;
        }
        (void)QTest::qWaitForWindowExposed(about);
        seen.version = about->findChild<QLabel *>(QStringLiteral("lVersion"))->text();
        seen.modality = about->windowModality();

        // The main window must ignore the user while the dialog is up.
        clickThroughWindow(pbConnect);
        clickThroughWindow(pbRefresh);
        QTest::keyClick(w.windowHandle(), Qt::Key_R, Qt::ControlModifier);
        QTest::keyClick(w.windowHandle(), Qt::Key_Space, Qt::ControlModifier);
        seen.mainBlocked
                = connectClicks.isEmpty() && refreshClicks.isEmpty() && !pbConnect->isChecked();

        // Neither the main window's F1 nor its menu may stack a second dialog.
        QTest::keyClick(w.windowHandle(), Qt::Key_F1);
        QTest::keyClick(about->windowHandle(), Qt::Key_F1);
        clickThroughWindow(w.findChild<QMenuBar *>(QStringLiteral("menuBar")));
        seen.dialogsAfterSecondTry = openAboutDialogs().size();

        about->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    open(&w);

    QVERIFY(seen.handled);
    QCOMPARE(seen.version, QStringLiteral(VELOTUNE_VERSION));
    QCOMPARE(seen.modality, Qt::ApplicationModal);
    QVERIFY(seen.mainBlocked);
    QCOMPARE(seen.dialogsAfterSecondTry, 1);
    QVERIFY(openAboutDialogs().isEmpty());

    // Closed again, the same click reaches the main window.
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    clickThroughWindow(pbRefresh);
    QCOMPARE(refreshClicks.size(), 1);
}

void tst_About::linkIsNotOpened_data()
{
    QTest::addColumn<bool>("externalLinksOn");
    QTest::addColumn<int>("activations");
    QTest::addColumn<int>("opens");

    QTest::newRow("as built") << false << 1 << 0;
    // Shows the click lands on the link and the recorder would notice an open.
    QTest::newRow("control: external links switched on") << true << 0 << 1;
}

void tst_About::linkIsNotOpened()
{
    QFETCH(bool, externalLinksOn);
    QFETCH(int, activations);
    QFETCH(int, opens);

    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");

    About about(1, 2, 7, aboutLibraryLine());
    auto *notice = child<QLabel>(&about, "label_4");
    QVERIFY(notice);
    if (externalLinksOn)
        notice->setOpenExternalLinks(true);
    QVERIFY(testutils::showAndActivate(&about));

    // Move the mouse over the notice until the pointer turns into a hand, as a user would.
    QWindow *window = about.windowHandle();
    QPoint onLink;
    for (int y = 1; y < notice->height() && onLink.isNull(); y += 2)
        for (int x = 1; x < notice->width(); x += 3) {
            const QPoint at = notice->mapTo(&about, QPoint(x, y));
            QTest::mouseMove(window, at);
            if (notice->cursor().shape() == Qt::PointingHandCursor) {
                onLink = at;
                break;
            }
        }
    QVERIFY2(!onLink.isNull(), "the notice shows no link");

    QSignalSpy activated(notice, &QLabel::linkActivated);
    QTest::mouseClick(window, Qt::LeftButton, {}, onLink);
    QCOMPARE(activated.size(), activations);
    QCOMPARE(recorder.opened.size(), opens);
    for (const QUrl &url : recorder.opened)
        QCOMPARE(url, QUrl(QStringLiteral("http://www.norvane.example")));
    if (activations)
        QCOMPARE(activated.first().first().toString(),
                 QStringLiteral("http://www.norvane.example"));
    QVERIFY(about.isVisible());
}

void tst_About::logoShowsPicture()
{
    About about(1, 2, 7, aboutLibraryLine());
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    auto *logo = child<QLabel>(&about, "label");
    QVERIFY(logo);
    QVERIFY(logo->text().isEmpty());

    const QImage source(kBase + QStringLiteral("CorporateDesign/CorporateLogoAdjustedLarge.png"));
    QVERIFY(!source.isNull());
    QVERIFY(logo->width() <= 400 && logo->height() <= 101);
    QVERIFY(logo->width() > 300 && logo->height() > 60);

    // What the label paints should be the artwork stretched over the label.
    QImage expected(logo->size(), QImage::Format_ARGB32);
    expected.fill(logo->palette().color(logo->backgroundRole()));
    {
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(), logo->size()), source);
    }
    const QImage shown = logo->grab().toImage().scaled(logo->size());
    QImage blank(logo->size(), QImage::Format_ARGB32);
    blank.fill(logo->palette().color(logo->backgroundRole()));

    const double toExpected = meanDifference(shown, expected);
    QVERIFY2(toExpected < 6, qPrintable(QString::number(toExpected)));
    QVERIFY2(meanDifference(shown, blank) > 20, "the logo label is blank");
}

void tst_About::sameWindowIconAsMainWindow_data()
{
    QTest::addColumn<int>("side");

    QTest::newRow("16 px") << 16;
    QTest::newRow("32 px") << 32;
    QTest::newRow("48 px") << 48;
    QTest::newRow("256 px") << 256;
}

void tst_About::sameWindowIconAsMainWindow()
{
    QFETCH(int, side);

    Velotune w;
    About about(1, 2, 7, aboutLibraryLine());
    const QImage mainIcon = w.windowIcon().pixmap(side).toImage();
    const QImage aboutIcon = about.windowIcon().pixmap(side).toImage();
    const QImage appIcon = QIcon(kBase + QStringLiteral("CorporateDesign/DefaultAppIcon.ico"))
                                   .pixmap(side)
                                   .toImage();
    QVERIFY(!appIcon.isNull());
    QCOMPARE(appIcon.size(), QSize(side, side));
    QCOMPARE(mainIcon, appIcon);
    QCOMPARE(aboutIcon, appIcon);
}

void tst_About::ledButtonsShowCheckedState_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("checked");

    for (const char *name : {"pbConnect", "pbLowVibration"}) {
        QTest::addRow("%s unchecked", name) << QString::fromLatin1(name) << false;
        QTest::addRow("%s checked", name) << QString::fromLatin1(name) << true;
    }
}

void tst_About::ledButtonsShowCheckedState()
{
    QFETCH(QString, button);
    QFETCH(bool, checked);

    const QImage off(kBase + QStringLiteral("Icons/LED/Flat/RoundGreenOff.png"));
    const QImage on(kBase + QStringLiteral("Icons/LED/Flat/RoundGreenOn.png"));
    QVERIFY(!off.isNull() && !on.isNull());
    const QColor dark = off.pixelColor(off.rect().center());
    const QColor bright = on.pixelColor(on.rect().center());

    Velotune w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *pb = w.findChild<QPushButton *>(button);
    QVERIFY(pb);
    // As when connected: a disabled button would show a greyed LED.
    w.findChild<QWidget *>(QStringLiteral("gbConfiguration"))->setEnabled(true);
    pb->setEnabled(true);
    pb->setChecked(checked);

    const QImage shown = pb->grab().toImage();
    const int darkPixels = pixelsNear(shown, dark, 30);
    const int brightPixels = pixelsNear(shown, bright, 30);
    const QString counts = QStringLiteral("dark %1, bright %2").arg(darkPixels).arg(brightPixels);
    // The LED core at 16 px covers a few dozen pixels.
    if (checked) {
        QVERIFY2(brightPixels >= 10 && darkPixels == 0, qPrintable(counts));
    } else {
        QVERIFY2(darkPixels >= 10 && brightPixels == 0, qPrintable(counts));
    }
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
