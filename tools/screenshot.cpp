// Saves the README's screenshots: the main window connected to the first controller found,
// its channel overview, and the About dialog. Run by tools/screenshots.sh on a real (virtual) X
// display.
//
// usage: velotune_screenshot OUTPUT_DIR

#include "about.h"
#include "velotune.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QPushButton>
#include <QWindow>

#include <cstdio>

namespace {

// Lets the window map and paint; there is no test library here to wait for it.
void settle(QWidget *window, int ms)
{
    QDeadlineTimer mapped(5000);
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && !mapped.hasExpired())
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
    if (connect && locator && locator->count() > 0)
        connect->click();
    settle(&window, 500);
    if (connect && connect->isChecked())
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

    About about(1, 2, 7);
    about.show();
    settle(&about, 500);
    ok = save(&about, out, "screenshot-about.png") && ok;
    return ok ? 0 : 1;
}
