#include "longaction.h"

#include "slowlink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

LongAction *current = nullptr;
bool (*stopRequested)() = nullptr;

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

} // namespace

LongAction::LongAction(QWidget *parent, const QString &title)
    : m_parent(parent), m_root(parent), m_title(title), m_outer(current)
{
    while (m_root->parentWidget() != nullptr)
        m_root = m_root->parentWidget()->window();
    m_started.start();
    current = this;
    slowlink::setBetweenCalls(&LongAction::betweenCalls);
    qApp->installEventFilter(this);
}

LongAction::~LongAction()
{
    // Input that came during the last call is dropped here, before anything else can open.
    QCoreApplication::processEvents();
    qApp->removeEventFilter(this);
    delete m_dialog;
    current = m_outer;
    if (current == nullptr)
        slowlink::setBetweenCalls(nullptr);
    if (m_closeAfter && m_root != nullptr) {
        QPointer<QWidget> root = m_root;
        QTimer::singleShot(0, root, [root] {
            if (root != nullptr)
                root->close();
        });
    }
    if (m_then)
        QTimer::singleShot(0, qApp, m_then);
}

LongAction *LongAction::running()
{
    return current;
}

void LongAction::setStopRequested(bool (*requested)())
{
    stopRequested = requested;
}

void LongAction::stop(std::function<void()> then)
{
    m_cancelled = true;
    m_then = std::move(then);
}

void LongAction::betweenCalls()
{
    if (current != nullptr)
        current->pass();
}

void LongAction::pass()
{
    // On a fast link letting events through after every call would cost more than the calls.
    if (m_passed.isValid() && m_passed.elapsed() < passEveryMs)
        return;
    m_passed.start();
    if (m_dialog == nullptr && m_parent != nullptr && !m_cancelled
        && m_started.elapsed() >= showAfterMs) {
        m_dialog = new QProgressDialog(m_parent);
        m_dialog->setObjectName(QStringLiteral("LongActionProgress"));
        m_dialog->setWindowTitle(m_title);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumDuration(0);
        m_dialog->setRange(0, int(m_total));
        m_dialog->setValue(int(m_done));
        m_dialog->setLabelText(m_text);
        connect(m_dialog, &QProgressDialog::canceled, this, [this] { m_cancelled = true; });
        m_dialog->show();
    }
    QCoreApplication::processEvents();
    // The repaints asked for while those events were handled, not one call later.
    QCoreApplication::sendPostedEvents();
}

nexil::ChannelModel::Progress LongAction::progress()
{
    return [this](std::size_t done, std::size_t total, const QString &text) {
        m_done = done;
        m_total = total;
        m_text = tr("%1 (%2 of %3)").arg(text).arg(done + 1).arg(total);
        if (m_dialog != nullptr) {
            m_dialog->setMaximum(int(total));
            m_dialog->setValue(int(done));
            m_dialog->setLabelText(m_text);
        }
    };
}

nexil::ChannelModel::Cancel LongAction::cancel()
{
    return [this] {
        // A Cancel clicked during the last call counts before the next one starts.
        pass();
        if (stopRequested != nullptr && stopRequested())
            m_cancelled = true;
        return m_cancelled;
    };
}

bool LongAction::toDialog(QObject *watched) const
{
    if (m_dialog == nullptr)
        return false;
    if (auto *widget = qobject_cast<QWidget *>(watched))
        return widget->window() == m_dialog;
    if (auto *window = qobject_cast<QWindow *>(watched))
        return window == m_dialog->windowHandle();
    return false;
}

bool LongAction::eventFilter(QObject *watched, QEvent *event)
{
    if (isInput(event->type()))
        return !toDialog(watched);
    if (event->type() == QEvent::Close && watched == m_root) {
        // Quitting: the action stops first, the window closes after it.
        m_cancelled = true;
        m_closeAfter = true;
        event->ignore();
        return true;
    }
    return false;
}
