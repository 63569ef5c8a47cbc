#include "statusformat.h"
#include "velotune.h"

QString Velotune::statusText(uint32_t status) const
{
    return nexil::statusText(status);
}

void Velotune::showStatus(const nexil::Failure &failure)
{
    showMessage(failureMessage(failure), messageTimeout);
}
