#include "nexillibrary.h"
#include "velotune.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The window opens without a library too; Connect then shows why, and so does this line.
    const nexil::LibraryInfo &library = nexil::library();
    if (!library.loaded)
        qCWarning(lcController).noquote() << "No controller library loaded:" << library.error;
    Velotune window;
    window.show();
    return app.exec();
}
