// The program's form alone: the same widgets, icons and resource bundle on a plain main
// window, without identity, settings, plug-in path, discovery or any controller call.
#include "firstframe.h"
#include "ui_velotune.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    new QuitAfterFirstExpose(&app);
    QMainWindow window;
    Ui::VelotuneClass ui;
    ui.setupUi(&window);
    window.show();
    return app.exec();
}
