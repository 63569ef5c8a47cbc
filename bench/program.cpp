// The real program, started as its own main() starts it, but ending after the first frame.
#include "firstframe.h"
#include "velotune.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    new QuitAfterFirstExpose(&app);
    Velotune window;
    window.show();
    return app.exec();
}
