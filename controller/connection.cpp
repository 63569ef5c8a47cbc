#include "velotune.h"

void Velotune::on_pbRefresh_clicked() { }

void Velotune::on_pbConnect_clicked(bool on)
{
    Q_UNUSED(on);
}
