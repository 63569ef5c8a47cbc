#include "programname.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace nexil {

namespace {

QString &givenName()
{
    static QString name;
    return name;
}

} // namespace

QString programName()
{
    if (!givenName().isEmpty())
        return givenName();
    // Without an instance Qt knows no executable and only warns.
    if (QCoreApplication::instance() == nullptr)
        return QCoreApplication::applicationName();
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

void setProgramName(const QString &name)
{
    givenName() = name;
}

} // namespace nexil
