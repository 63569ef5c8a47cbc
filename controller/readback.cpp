#include "velotune.h"

void Velotune::on_sbChannelIndex_valueChanged(int value)
{
    Q_UNUSED(value);
}
