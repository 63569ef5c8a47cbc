#include "statustip.h"

#include <QEvent>
#include <QFontMetrics>
#include <QSizeGrip>
#include <QStatusBar>
#include <QToolTip>

namespace {

// The bar's own margins around its message: 6 pixels before it, 12 after it.
constexpr int messageMargins = 18;

} // namespace

StatusTip::StatusTip(QStatusBar *bar) : QObject(bar), m_bar(bar)
{
    connect(bar, &QStatusBar::messageChanged, this, &StatusTip::update);
    bar->installEventFilter(this);
}

void StatusTip::showMessage(const QString &message, const QString &details, int timeout)
{
    m_message = message;
    m_details = details;
    m_bar->showMessage(message, timeout);
    update();
}

bool StatusTip::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_bar
        && (event->type() == QEvent::Resize || event->type() == QEvent::FontChange
            || event->type() == QEvent::StyleChange))
        update();
    return false;
}

bool StatusTip::cutOff(const QString &message) const
{
    int available = m_bar->width() - messageMargins;
    const auto *grip = m_bar->findChild<QSizeGrip *>();
    if (grip != nullptr && grip->isVisible())
        available -= grip->width();
    return m_bar->fontMetrics().horizontalAdvance(message) > available;
}

void StatusTip::update()
{
    const QString shown = m_bar->currentMessage();
    QString tip;
    if (!shown.isEmpty() && shown == m_message && !m_details.isEmpty())
        tip = m_details;
    else if (!shown.isEmpty() && cutOff(shown))
        tip = shown;
    if (shown != m_message) {
        m_message.clear();
        m_details.clear();
    }
    const QString previous = m_bar->toolTip();
    if (tip == previous)
        return;
    m_bar->setToolTip(tip);
    // A tooltip on screen must not outlive its message.
    if (QToolTip::isVisible() && QToolTip::text() == previous)
        QToolTip::hideText();
}
