#include "sepspinbox.h"

#include "grouping.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>

namespace {

bool allDigits(const QString &text)
{
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return !text.isEmpty();
}

// Digits in groups of exactly three after a first group of one to three, split by `separator`.
bool groupedInThrees(const QString &digits, const QString &separator)
{
    if (separator.isEmpty())
        return false;
    const QStringList groups = digits.split(separator);
    if (groups.size() < 2 || groups.first().size() > 3)
        return false;
    for (int i = 0; i < groups.size(); ++i)
        if (!allDigits(groups.at(i)) || (i > 0 && groups.at(i).size() != 3))
            return false;
    return true;
}

class WheelOnlyWithFocus : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel || static_cast<QWidget *>(watched)->hasFocus())
            return false;
        // Ignored, so it travels on to the parent.
        event->ignore();
        return true;
    }
};

// Typed text quoted back to the user, cut short: it may be a whole pasted page.
QString quoted(const QString &text)
{
    const int longest = 24;
    return text.size() <= longest ? text : text.left(longest - 1) + QChar(0x2026);
}

} // namespace

void SepSpinBox::takeWheelOnlyWithFocus(QAbstractSpinBox *box)
{
    box->setFocusPolicy(Qt::StrongFocus);
    box->installEventFilter(new WheelOnlyWithFocus(box));
}

SepSpinBox::SepSpinBox(QWidget *parent, const char *name) : QSpinBox(parent)
{
    setObjectName(QString::fromUtf8(name));
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setAccelerated(true);
    setKeyboardTracking(false);
    setFont(QFont(QStringLiteral("MS Shell Dlq 2"), 8));
    takeWheelOnlyWithFocus(this);
    // Mending the text ends the refusal. A value set from code does so in showHeld(): the
    // spin box sets its text with the editor's signals blocked.
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { showRefused(false); });
}

SepSpinBox::~SepSpinBox() = default;

void SepSpinBox::showHeld(uint32_t held)
{
    if (!m_grown)
        m_givenMaximum = maximum();
    const int shown = int(std::min(held, uint32_t(INT_MAX)));
    m_heldBeyondRange = held > uint32_t(INT_MAX) ? held : 0;
    const QSignalBlocker blocker(this);
    setMaximum(std::max(m_givenMaximum, shown));
    m_grown = maximum() != m_givenMaximum;
    // Sets the text even when the number is the same, so refused text goes too.
    setValue(shown);
    showRefused(false);
}

QString SepSpinBox::textFromValue(int value) const
{
    if (value == INT_MAX && m_heldBeyondRange != 0)
        return text::grouped(m_heldBeyondRange);
    return text::grouped(value);
}

// Only the three forms are numbers; "1.5" or "1,50" are never read as 15 or 150.
SepSpinBox::Reading SepSpinBox::parse(const QString &text, qint64 *value) const
{
    QString digits = text.trimmed();
    if (!prefix().isEmpty() && digits.startsWith(prefix()))
        digits.remove(0, prefix().size());
    if (!suffix().isEmpty() && digits.endsWith(suffix()))
        digits.chop(suffix().size());
    digits = digits.trimmed();
    if (digits.isEmpty())
        return Reading::Empty;
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative)
        digits.remove(0, 1);

    const QString localSeparator(locale().groupSeparator());
    if (!allDigits(digits) && !groupedInThrees(digits, QStringLiteral("."))
        && !groupedInThrees(digits, localSeparator))
        return Reading::NotWhole;
    if (negative && minimum() >= 0)
        return Reading::Negative;
    digits.remove(QLatin1Char('.'));
    digits.remove(localSeparator);
    // More digits than any int has: out of range, whatever they say.
    if (digits.size() > 12)
        return Reading::TooLong;
    *value = negative ? -digits.toLongLong() : digits.toLongLong();
    return Reading::Number;
}

int SepSpinBox::valueFromText(const QString &text) const
{
    qint64 value = 0;
    return parse(text, &value) == Reading::Number
            ? int(qBound(qint64(minimum()), value, qint64(maximum())))
            : this->value();
}

// Why `text` cannot be taken, or nothing when it can. The value shown is always taken, even
// one the controller holds beyond what the box can be stepped or typed to.
QString SepSpinBox::refusal(const QString &text) const
{
    if (text == prefix() + textFromValue(value()) + suffix())
        return QString();
    qint64 number = 0;
    switch (parse(text, &number)) {
    case Reading::Number:
        if (number > maximum())
            return tr("%1 is above the maximum of %2.")
                    .arg(text::grouped(number), text::grouped(maximum()));
        if (number < minimum())
            return tr("%1 is below the minimum of %2.")
                    .arg(text::grouped(number), text::grouped(minimum()));
        return QString();
    case Reading::Empty:
        return tr("The field is empty: enter a whole number.");
    case Reading::NotWhole:
        return tr("\"%1\" is not a whole number.").arg(quoted(text.trimmed()));
    case Reading::Negative:
        return tr("The value cannot be negative: the minimum is %1.").arg(text::grouped(minimum()));
    case Reading::TooLong:
        return tr("%1 is above the maximum of %2.")
                .arg(quoted(text.trimmed()), text::grouped(maximum()));
    }
    return QString();
}

// Anything but a number in range stays in the field as typed (so nothing is silently dropped
// or cut short) and is refused when the user finishes.
QValidator::State SepSpinBox::validate(QString &text, int &pos) const
{
    Q_UNUSED(pos)
    return refusal(text).isEmpty() ? QValidator::Acceptable : QValidator::Intermediate;
}

void SepSpinBox::fixup(QString &input) const
{
    // The base would drop the locale's separators and so turn "1,5" into 15.
    Q_UNUSED(input)
}

bool SepSpinBox::showsHeldBeyondRange() const
{
    return m_heldBeyondRange != 0 && value() == INT_MAX;
}

void SepSpinBox::stepBy(int steps)
{
    // A step goes from what the box last showed, never from text it refused or would refuse:
    // the base would only put the number back and so swallow the step.
    if (!refusal(lineEdit()->displayText()).isEmpty())
        dropUnfinishedText();
    if (showsHeldBeyondRange()) {
        emit refused(tr("%1 is too large to step from: type the new value.")
                             .arg(text::grouped(m_heldBeyondRange)));
        return;
    }
    m_beforeEdit = value();
    QSpinBox::stepBy(steps);
}

bool SepSpinBox::refuseUnfinishedText()
{
    const QString reason = refusal(lineEdit()->displayText());
    if (reason.isEmpty())
        return false;
    showRefused(true);
    emit refused(reason);
    return true;
}

void SepSpinBox::dropUnfinishedText()
{
    const QSignalBlocker blocker(this);
    setValue(value());
    showRefused(false);
}

void SepSpinBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (refuseUnfinishedText()) {
            // Selected for retyping; the refusal's colours show through the selection.
            lineEdit()->selectAll();
            event->accept();
            return;
        }
        m_beforeEdit = value();
    }
    QSpinBox::keyPressEvent(event);
}

void SepSpinBox::focusOutEvent(QFocusEvent *event)
{
    // Text refused already and not changed since (Return, then Escape or a click elsewhere)
    // is not refused a second time.
    if (m_refused || refuseUnfinishedText()) {
        // Keep the refused text; the base would put the old value back without a word.
        QCoreApplication::sendEvent(lineEdit(), event);
        // NOLINTNEXTLINE(bugprone-parent-virtual-call): the spin box's own would revert
        QWidget::focusOutEvent(event);
        return;
    }
    m_beforeEdit = value();
    QSpinBox::focusOutEvent(event);
}

void SepSpinBox::changeEvent(QEvent *event)
{
    QSpinBox::changeEvent(event);
    // Disabled (released, or not a positioner): the box shows the controller's last value, and
    // refused text that can no longer be mended would only mislead.
    if (event->type() == QEvent::EnabledChange && !isEnabled()
        && (m_refused || !refusal(lineEdit()->displayText()).isEmpty()))
        dropUnfinishedText();
}

void SepSpinBox::showRefused(bool refused)
{
    if (refused == m_refused)
        return;
    m_refused = refused;
    QPalette palette;
    if (refused) {
        palette = lineEdit()->palette();
        palette.setColor(QPalette::Text, Qt::red);
        palette.setColor(QPalette::PlaceholderText, Qt::red);
        // Return selects the refused text: the selection must not hide the red.
        palette.setColor(QPalette::Highlight, Qt::red);
        palette.setColor(QPalette::HighlightedText, Qt::white);
    }
    // An empty palette gives the inherited one back.
    lineEdit()->setPalette(palette);
    // An emptied field shows its refusal too.
    lineEdit()->setPlaceholderText(refused ? tr("empty") : QString());
}
