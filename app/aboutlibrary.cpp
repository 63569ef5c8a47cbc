#include "aboutlibrary.h"

#include "nexillibrary.h"

#include <QCoreApplication>

LibraryLine aboutLibraryLine()
{
    const nexil::LibraryInfo &library = nexil::library();
    if (!library.loaded)
        return {QCoreApplication::translate("About", "No controller library: %1")
                        .arg(library.error),
                QString()};
    return {library.simulator ? QCoreApplication::translate("About", "Simulated controllers: %1")
                              : QCoreApplication::translate("About", "Controller library: %1"),
            library.file};
}
