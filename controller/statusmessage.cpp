#include "statusformat.h"
#include "velotune.h"

QString Velotune::statusText(uint32_t status) const
{
    return nexil::statusText(status);
}

void Velotune::showStatus(const QString &message, uint32_t status)
{
    ui.statusBar->showMessage(nexil::statusMessage(message, status), messageTimeout);
}
