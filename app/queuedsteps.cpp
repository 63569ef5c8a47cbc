#include "queuedsteps.h"

#include "slowlink.h"

#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QWheelEvent>

#include <algorithm>

namespace {

// An offset that falls this far is a clock that jumped or wrapped (X's after 49 days), not an
// event that waited: learn it anew.
constexpr qint64 clockJumpMs = qint64(10) * 60 * 1000;

// An event made in a call's last milliseconds has hardly waited, and the clocks agree only to a
// few milliseconds: it counts as fresh, and is written at once.
constexpr qint64 waitedMs = 10;

bool isStepKey(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp
            || key == Qt::Key_PageDown;
}

} // namespace

QueuedSteps::QueuedSteps(QObject *parent) : QObject(parent)
{
    // A zero timer runs once the events waiting now have been handled.
    m_drained.setSingleShot(true);
    m_drained.setInterval(0);
    connect(&m_drained, &QTimer::timeout, this, &QueuedSteps::drained);
}

void QueuedSteps::watch(QAbstractSpinBox *box)
{
    box->installEventFilter(this);
}

bool QueuedSteps::queued(qint64 stamp)
{
    if (stamp == 0)
        return false;
    // An event is handled after it was made, never before, so the largest offset seen is the
    // closest to the true one.
    const qint64 offset = stamp - slowlink::now();
    if (!m_offsetKnown || offset > m_offset || offset < m_offset - clockJumpMs) {
        m_offset = offset;
        m_offsetKnown = true;
    }
    const qint64 end = slowlink::lastCallEnd();
    return end >= 0 && stamp - m_offset < end - waitedMs;
}

void QueuedSteps::note(QObject *box, bool queued)
{
    m_lastBox = box;
    m_lastQueued = queued;
}

bool QueuedSteps::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool wasQueued = queued(qint64(key->timestamp()));
        note(watched, isStepKey(key->key()) && wasQueued);
        break;
    }
    case QEvent::Wheel:
        note(watched, queued(qint64(static_cast<QWheelEvent *>(event)->timestamp())));
        break;
    case QEvent::MouseButtonPress:
    case QEvent::FocusOut:
        note(watched, false);
        break;
    default:
        break;
    }
    return false;
}

bool QueuedSteps::hold(QAbstractSpinBox *box, uint32_t channel)
{
    if (box != m_lastBox || !m_lastQueued)
        return false;
    // Whatever happens to the channel in between writes the held steps first.
    if (std::none_of(m_held.begin(), m_held.end(), [box](const Held &h) { return h.box == box; }))
        m_held.push_back({box, channel});
    m_drained.start();
    return true;
}

std::vector<QueuedSteps::Held> QueuedSteps::takeHeld()
{
    m_drained.stop();
    std::vector<Held> held;
    held.swap(m_held);
    return held;
}
