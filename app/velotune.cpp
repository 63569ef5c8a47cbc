#include "velotune.h"

#include "about.h"

#include <QApplication>
#include <QSettings>

Velotune::Velotune(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags), systemIndex(0)
{
    // The settings store below is located by these.
    QCoreApplication::setOrganizationName(QStringLiteral("Norvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("norvane.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Velotune"));
    QCoreApplication::setApplicationVersion(tr("%1.%2.%3").arg(1).arg(2).arg(7));
    // Next to the program, not in whatever folder it was started from: plug-ins are code.
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath()
                                     + QStringLiteral("/plugins"));

    ui.setupUi(this);
    ui.lLowVibration->setEnabled(false);
    ui.pbLowVibration->setEnabled(false);
    setWindowTitle(tr("Nexil Velotune v%1.%2.%3").arg(1).arg(2).arg(7));
    connect(ui.aAbout_Qt, &QAction::triggered, qApp, &QApplication::aboutQt);

    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("geometry"), QByteArray()).toByteArray());
    restoreState(settings.value(QStringLiteral("windowState"), QByteArray()).toByteArray(), 0);

    ui.pbRefresh->click();
}

Velotune::~Velotune()
{
    QSettings settings;
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("windowState"), saveState(0));
}

void Velotune::on_aAbout_triggered()
{
    About about(1, 2, 7);
    about.exec();
}
