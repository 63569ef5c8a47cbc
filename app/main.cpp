#include "nexillibrary.h"
#include "tracefile.h"
#include "velotune.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    nexil::traceToFileIfAsked();
    // The window opens without a library too and says why in its status bar; so does this line.
    const nexil::LibraryInfo &library = nexil::library();
    if (!library.loaded)
        qCWarning(lcController).noquote() << "No controller library loaded:" << library.error;
    Velotune window;
    window.show();
    return app.exec();
}
