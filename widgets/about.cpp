#include "about.h"

About::About(int major, int minor, int patch) : QDialog(nullptr)
{
    ui.setupUi(this);
    ui.lVersion->setText(tr("%1.%2.%3").arg(major).arg(minor).arg(patch));
}

About::~About() = default;
