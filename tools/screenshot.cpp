// Saves the README's screenshots: the main window connected to the first controller found,
// its channel overview, the restore dialog planning the writes back to a saved file, and the
// About dialog. Run by tools/screenshots.sh on a real (virtual) X display.
//
// usage: velotune_screenshot OUTPUT_DIR

#include "about.h"
#include "aboutlibrary.h"
#include "velotune.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Lets the window map and paint; there is no test library here to wait for it.
void settle(QWidget *window, int ms)
{
    QDeadlineTimer mapped(5000);
    while (!(window->windowHandle() != nullptr && window->windowHandle()->isExposed())
           && !mapped.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QDeadlineTimer painted(ms);
    while (!painted.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget *window, const QDir &dir, const char *name)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!window->grab().save(path, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s (%dx%d)\n", qPrintable(path), window->width(), window->height());
    return true;
}

using Matches = std::function<bool(QWidget *)>;
using Handler = std::function<void(QWidget *)>;

// Runs `handle` on the next visible modal widget that `matches`, from inside its exec(), so the
// window's own menu actions can be driven. Gives up after 10 s.
void onModal(const Matches &matches, const Handler &handle)
{
    auto *timer = new QTimer(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, started, matches, handle] {
        QWidget *modal = QApplication::activeModalWidget();
        const bool found = modal != nullptr && modal->isVisible() && matches(modal);
        if (!found && started->elapsed() < 10000)
            return;
        timer->stop();
        timer->deleteLater();
        if (found)
            handle(modal);
        else
            std::fprintf(stderr, "warning: an expected dialog did not open\n");
    });
    timer->start();
}

bool isFileDialog(QWidget *w)
{
    return qobject_cast<QFileDialog *>(w) != nullptr;
}

// Types `path` into the file dialog's name field, as a user would, then `then`.
Handler chooseFile(const QString &path, const std::function<void()> &then = {})
{
    return [path, then](QWidget *modal) {
        auto *name = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) {
            std::fprintf(stderr, "warning: the file dialog has no name field\n");
            qobject_cast<QDialog *>(modal)->reject();
            return;
        }
        if (then)
            then();
        name->setText(path);
        qobject_cast<QDialog *>(modal)->accept();
    };
}

// Saves the controller's settings to a file from the window, changes a few fields through the
// form, and grabs the restore dialog's plan for that file before cancelling it.
bool restoreDialog(Velotune *window, const QDir &out)
{
    auto *save = window->findChild<QAction *>(QStringLiteral("aSaveSettings"));
    auto *restore = window->findChild<QAction *>(QStringLiteral("aRestoreSettings"));
    auto *channel = window->findChild<QSpinBox *>(QStringLiteral("sbChannelIndex"));
    auto *speed = window->findChild<QSpinBox *>(QStringLiteral("sbSpeed"));
    auto *acceleration = window->findChild<QSpinBox *>(QStringLiteral("sbAcceleration"));
    auto *lowVibration = window->findChild<QPushButton *>(QStringLiteral("pbLowVibration"));
    if (save == nullptr || restore == nullptr || channel == nullptr || speed == nullptr
        || acceleration == nullptr || !save->isEnabled()) {
        std::fprintf(stderr, "warning: no settings file actions; no restore screenshot\n");
        return true;
    }
    const QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/velotune-lab-XXXXXX"));
    const QString path = QDir(scratch.path()).filePath(QStringLiteral("bench-a.json"));
    onModal(isFileDialog, chooseFile(path));
    save->trigger();
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "could not save %s from the window\n", qPrintable(path));
        return false;
    }

    // Two fields of the first channel and the second's Low Vibration Mode, as a user would.
    speed->setValue(speed->value() + 1500000);
    acceleration->setValue(acceleration->value() + 500000);
    if (lowVibration != nullptr && channel->maximum() >= 1) {
        channel->setValue(1);
        if (lowVibration->isEnabled())
            lowVibration->click();
        channel->setValue(0);
    }

    bool grabbed = false;
    const Matches isDiff
            = [](QWidget *w) { return w->objectName() == QLatin1String("SettingsDiffDialog"); };
    const Handler grab = [&](QWidget *dialog) {
        settle(dialog, 500);
        grabbed = ::save(dialog, out, "screenshot-restore.png");
        // Cancel: nothing is written.
        if (auto *box = dialog->findChild<QDialogButtonBox *>())
            if (QPushButton *cancel = box->button(QDialogButtonBox::Cancel))
                cancel->click();
        if (dialog->isVisible())
            qobject_cast<QDialog *>(dialog)->reject();
    };
    onModal(isFileDialog, chooseFile(path, [&] { onModal(isDiff, grab); }));
    restore->trigger();
    return grabbed;
}

} // namespace

int main(int argc, char *argv[])
{
    // As the program itself: no OpenGL, so no GL driver loaded on the X display.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    Velotune window;
    window.show();
    settle(&window, 500);

    auto *connect = window.findChild<QPushButton *>(QStringLiteral("pbConnect"));
    auto *locator = window.findChild<QComboBox *>(QStringLiteral("cbLocator"));
    if (connect != nullptr && locator != nullptr && locator->count() > 0)
        connect->click();
    settle(&window, 500);
    if (connect != nullptr && connect->isChecked())
        std::printf("connected to %s\n", qPrintable(locator->currentText()));
    else
        std::fprintf(stderr, "warning: not connected; the main window shows the idle state\n");
    bool ok = save(&window, out, "screenshot-main.png");

    if (auto *channels = window.findChild<QAction *>(QStringLiteral("aChannels"))) {
        channels->trigger();
        QWidget *overview = window.findChild<QWidget *>(QStringLiteral("ChannelOverview"));
        if (overview != nullptr) {
            settle(overview, 500);
            ok = save(overview, out, "screenshot-channels.png") && ok;
            overview->hide();
        }
    }
    ok = restoreDialog(&window, out) && ok;

    About about(1, 2, 7, aboutLibraryLine());
    about.show();
    settle(&about, 500);
    ok = save(&about, out, "screenshot-about.png") && ok;
    return ok ? 0 : 1;
}
