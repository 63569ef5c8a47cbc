#include "sepspinbox.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

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
    // Mending the text, or a value set from code, ends the refusal.
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { showRefused(false); });
}

SepSpinBox::~SepSpinBox() = default;

QString SepSpinBox::textFromValue(int value) const
{
    // German grouping whatever the widget's or the machine's locale.
    return QLocale(QLocale::German).toString(value);
}

// Only the three forms are numbers; "1.5" or "1,50" are never read as 15 or 150.
bool SepSpinBox::parse(const QString &text, qint64 *value) const
{
    QString digits = text.trimmed();
    if (!prefix().isEmpty() && digits.startsWith(prefix()))
        digits.remove(0, prefix().size());
    if (!suffix().isEmpty() && digits.endsWith(suffix()))
        digits.chop(suffix().size());
    digits = digits.trimmed();
    const bool negative = minimum() < 0 && digits.startsWith(QLatin1Char('-'));
    if (negative)
        digits.remove(0, 1);

    const QString localSeparator(locale().groupSeparator());
    if (!allDigits(digits) && !groupedInThrees(digits, QStringLiteral("."))
        && !groupedInThrees(digits, localSeparator))
        return false;
    digits.remove(QLatin1Char('.'));
    digits.remove(localSeparator);
    // More digits than any int has: out of range, whatever they say.
    if (digits.size() > 12)
        return false;
    *value = negative ? -digits.toLongLong() : digits.toLongLong();
    return true;
}

int SepSpinBox::valueFromText(const QString &text) const
{
    qint64 value = 0;
    return parse(text, &value) ? int(qBound(qint64(minimum()), value, qint64(maximum())))
                               : this->value();
}

// Anything but a number in range stays in the field as typed (so nothing is silently dropped
// or cut short) and is refused when the user finishes.
QValidator::State SepSpinBox::validate(QString &text, int &pos) const
{
    Q_UNUSED(pos)
    qint64 value = 0;
    if (parse(text, &value) && value >= minimum() && value <= maximum())
        return QValidator::Acceptable;
    return QValidator::Intermediate;
}

void SepSpinBox::fixup(QString &input) const
{
    // The base would drop the locale's separators and so turn "1,5" into 15.
    Q_UNUSED(input)
}

void SepSpinBox::stepBy(int steps)
{
    m_beforeEdit = value();
    QSpinBox::stepBy(steps);
}

bool SepSpinBox::refuseUnfinishedText()
{
    QString text = lineEdit()->displayText();
    int pos = lineEdit()->cursorPosition();
    if (validate(text, pos) == QValidator::Acceptable)
        return false;
    showRefused(true);
    return true;
}

void SepSpinBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (refuseUnfinishedText()) {
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
    if (refuseUnfinishedText()) {
        // Keep the refused text; the base would put the old value back without a word.
        QCoreApplication::sendEvent(lineEdit(), event);
        // NOLINTNEXTLINE(bugprone-parent-virtual-call): the spin box's own would revert
        QWidget::focusOutEvent(event);
        return;
    }
    m_beforeEdit = value();
    QSpinBox::focusOutEvent(event);
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
    }
    // An empty palette gives the inherited one back.
    lineEdit()->setPalette(palette);
}
