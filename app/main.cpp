#include "longaction.h"
#include "nexillibrary.h"
#include "quitsignals.h"
#include "tracefile.h"
#include "velotune.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    // Nothing here draws with OpenGL; on X11 Qt would still load the system's GL driver for it.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    // Past a file-size limit a save fails with EFBIG and says so, as on a full disk, instead of
    // the signal ending the program with a temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    nexil::traceToFileIfAsked();
    // The window opens without a library too and says why in its status bar; so does this line.
    const nexil::LibraryInfo &library = nexil::library();
    if (!library.loaded)
        qCWarning(lcController).noquote() << "No controller library loaded:" << library.error;
    Velotune window;
    // A signal stops a long action at its next cancel check and releases the controller.
    LongAction::setStopRequested([] { return quitsignals::received() != 0; });
    quitsignals::install(&window, [&window](int signal) { window.endBySignal(signal); });
    window.show();
    return app.exec();
}
