#include "sepspinbox.h"

#include <QLocale>

SepSpinBox::SepSpinBox(QWidget *parent, const char *name) : QSpinBox(parent)
{
    setObjectName(QString::fromUtf8(name));
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setAccelerated(true);
    setKeyboardTracking(false);
    setFont(QFont(QStringLiteral("MS Shell Dlq 2"), 8));
}

SepSpinBox::~SepSpinBox() = default;

QString SepSpinBox::textFromValue(int value) const
{
    // German grouping whatever the widget's or the machine's locale.
    return QLocale(QLocale::German).toString(value);
}
