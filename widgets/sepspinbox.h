#ifndef SEPSPINBOX_H
#define SEPSPINBOX_H

#include <QSpinBox>

// An integer spin box that groups digits as "100.000.000" on every system, so large speeds and
// accelerations stay readable. Typed text is taken only in an unambiguous form: plain digits,
// the shown form, or the widget locale's own grouping in threes. Anything else, a value out of
// range included, is kept in red and not taken until it is mended.
class SepSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit SepSpinBox(QWidget *parent = nullptr, const char *name = "sepSpinBox");
    ~SepSpinBox() override;

    // The value shown before the user's latest step or typed change.
    int valueBeforeEdit() const { return m_beforeEdit; }

    void stepBy(int steps) override;

    // The wheel steps `box` only while it has the keyboard focus; otherwise the wheel scrolls
    // past it. A wheel turn no longer gives the box the focus.
    static void takeWheelOnlyWithFocus(QAbstractSpinBox *box);

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString &text) const override;
    QValidator::State validate(QString &text, int &pos) const override;
    void fixup(QString &input) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool parse(const QString &text, qint64 *value) const;
    bool refuseUnfinishedText();
    void showRefused(bool refused);

    int m_beforeEdit = 0;
    bool m_refused = false;
};

#endif // SEPSPINBOX_H
