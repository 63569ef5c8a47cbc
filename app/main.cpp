#include "velotune.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Velotune window;
    window.show();
    return app.exec();
}
