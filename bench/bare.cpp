// The toolkit's floor: an empty main window shown, and nothing else.
#include "firstframe.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    new QuitAfterFirstExpose(&app);
    QMainWindow window;
    window.show();
    return app.exec();
}
