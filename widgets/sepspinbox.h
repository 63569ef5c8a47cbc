#ifndef SEPSPINBOX_H
#define SEPSPINBOX_H

#include <QSpinBox>

// An integer spin box that groups digits as "100.000.000" on every system, so large speeds and
// accelerations stay readable. Typed text is taken only in an unambiguous form: plain digits,
// the shown form, or the widget locale's own grouping in threes. Anything else, a value out of
// range or an empty field included, is kept in red, explained through refused(), and not taken
// until it is mended.
class SepSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit SepSpinBox(QWidget *parent = nullptr, const char *name = "sepSpinBox");
    ~SepSpinBox() override;

    // Shows the value the controller holds, exactly, without emitting anything. A value above
    // the maximum the box was given grows the range to hold it; a later value within that
    // maximum gives it back. Any refused text goes.
    void showHeld(uint32_t held);

    // The maximum the box was given, whatever showHeld() has grown the range to since.
    int givenMaximum() const { return m_grown ? m_givenMaximum : maximum(); }

    // The value shown before the user's latest step or typed change.
    int valueBeforeEdit() const { return m_beforeEdit; }

    void stepBy(int steps) override;

    // The wheel steps `box` only while it has the keyboard focus; otherwise the wheel scrolls
    // past it. A wheel turn no longer gives the box the focus.
    static void takeWheelOnlyWithFocus(QAbstractSpinBox *box);

signals:
    // Typed text or a step was not taken; `reason` says why, in a sentence for the status bar.
    void refused(const QString &reason);

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString &text) const override;
    QValidator::State validate(QString &text, int &pos) const override;
    void fixup(QString &input) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    enum class Reading { Number, Empty, NotWhole, Negative, TooLong };
    Reading parse(const QString &text, qint64 *value) const;
    QString refusal(const QString &text) const;
    bool showsHeldBeyondRange() const;
    bool refuseUnfinishedText();
    void dropUnfinishedText();
    void showRefused(bool refused);

    int m_beforeEdit = 0;
    bool m_refused = false;
    // The maximum the box was given, while showHeld() has grown the range past it.
    int m_givenMaximum = 0;
    bool m_grown = false;
    // What the controller last held when it does not fit an int, shown in place of INT_MAX.
    uint32_t m_heldBeyondRange = 0;
};

#endif // SEPSPINBOX_H
