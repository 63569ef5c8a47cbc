#ifndef SEPSPINBOX_H
#define SEPSPINBOX_H

#include <QSpinBox>

// An integer spin box that groups digits as "100.000.000" on every system, so large speeds and
// accelerations stay readable.
class SepSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit SepSpinBox(QWidget *parent = nullptr, const char *name = "sepSpinBox");
    ~SepSpinBox() override;

protected:
    QString textFromValue(int value) const override;
};

#endif // SEPSPINBOX_H
