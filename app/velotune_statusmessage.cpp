#include "velotune.h"

void Velotune::showStatus(const nexil::Failure &failure)
{
    showMessage(failureMessage(failure), messageTimeout);
}
