#include "nexillibrary.h"
#include "velotune.h"

QString Velotune::statusText(uint32_t status) const
{
    const char *info = nullptr;
    nexil::TQ_GetStatusInfo(status, &info);
    return info != nullptr ? QString::fromUtf8(info) : QString();
}

// `message` holds %1 for the status number and %2 for the library's text. Both are filled in
// one pass, so a '%' inside the library's text is shown as it is.
void Velotune::showStatus(const QString &message, uint32_t status)
{
    const QString text = statusText(status);
    ui.statusBar->showMessage(message.arg(QString::number(status), text), messageTimeout);
}
