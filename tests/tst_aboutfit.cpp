// The About dialog on a small, highly scaled screen: this test runs at a scale factor of 2 on a
// 1280 x 800 X screen, which leaves 400 pixels of height for a dialog made for 470.

#include "about.h"
#include "testutils.h"
#include "ui_about.h"
#include "velotune.h"
#include "version.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QtTest>

using testutils::child;

namespace {

struct Seen
{
    bool opened = false;
    QRect area;
    QRect frame;
    QRect okButton;
    bool okVisible = false;
    bool disclaimerReachable = false;
    QStringList texts;
};

QStringList textsOf(const QWidget *dialog)
{
    QStringList texts{dialog->windowTitle()};
    for (const char *name : {"label_2", "label_5", "lVersion", "label_4", "label_3"}) {
        const auto *label = child<QLabel>(dialog, name);
        texts << (label ? label->text() : QStringLiteral("(no %1)").arg(QLatin1String(name)));
    }
    return texts;
}

} // namespace

class tst_AboutFit : public QObject
{
    Q_OBJECT

private slots:
    void fitsTheScreen_data();
    void fitsTheScreen();
};

void tst_AboutFit::fitsTheScreen_data()
{
    QTest::addColumn<bool>("byKey");

    QTest::newRow("OK clicked") << false;
    QTest::newRow("OK by the Return key") << true;
}

void tst_AboutFit::fitsTheScreen()
{
    QFETCH(bool, byKey);

    testutils::programSettings().clear();
    Velotune window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The texts the form gives, with the version the window passes.
    QDialog reference;
    Ui::About form;
    form.setupUi(&reference);
    form.lVersion->setText(QStringLiteral(VELOTUNE_VERSION));
    const QStringList expectedTexts = textsOf(&reference);

    Seen seen;
    testutils::onNextModal([&seen, byKey](QWidget *modal) {
        seen.opened = QTest::qWaitForWindowExposed(modal);
        seen.area = modal->screen()->availableGeometry();
        seen.frame = modal->frameGeometry();
        seen.texts = textsOf(modal);
        auto *buttons = modal->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QPushButton *ok = buttons ? buttons->button(QDialogButtonBox::Ok) : nullptr;
        if (ok) {
            seen.okVisible = ok->isVisible() && !ok->visibleRegion().isEmpty();
            seen.okButton = QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size());
        }
        // Where the text scrolls, its last line can be scrolled into view.
        auto *disclaimer = modal->findChild<QLabel *>(QStringLiteral("label_3"));
        if (auto *scroll = modal->findChild<QScrollArea *>())
            scroll->ensureWidgetVisible(disclaimer, 0, 0);
        seen.disclaimerReachable = disclaimer
                && disclaimer->visibleRegion().boundingRect().bottom()
                        == disclaimer->rect().bottom();
        if (byKey)
            QTest::keyClick(modal, Qt::Key_Return);
        else if (ok)
            QTest::mouseClick(ok, Qt::LeftButton);
        if (modal->isVisible())
            static_cast<QDialog *>(modal)->reject();
    });
    // Help > About; no window manager here to make the window active for F1.
    child<QAction>(&window, "aAbout")->trigger();

    QVERIFY(seen.opened);
    QVERIFY2(seen.area.height() < 470, "the screen is not small enough for this test");
    QVERIFY2(seen.area.contains(seen.frame),
             qPrintable(QStringLiteral("dialog %1,%2 %3x%4 on a screen of %5x%6")
                                .arg(seen.frame.x())
                                .arg(seen.frame.y())
                                .arg(seen.frame.width())
                                .arg(seen.frame.height())
                                .arg(seen.area.width())
                                .arg(seen.area.height())));
    QVERIFY(seen.okVisible);
    QVERIFY(seen.area.contains(seen.okButton));
    QVERIFY(seen.disclaimerReachable);
    QCOMPARE(seen.texts, expectedTexts);
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(tst_AboutFit)
#include "tst_aboutfit.moc"
