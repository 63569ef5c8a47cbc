#include "velotune.h"

void Velotune::on_sbSpeed_valueChanged(int value)
{
    Q_UNUSED(value);
}

void Velotune::on_sbAcceleration_valueChanged(int value)
{
    Q_UNUSED(value);
}

void Velotune::on_pbLowVibration_clicked(bool on)
{
    Q_UNUSED(on);
}
