// The floor for velotune-cli's start-up to exit: a QCoreApplication that does nothing.
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return 0;
}
