#ifndef QUEUEDSTEPS_H
#define QUEUEDSTEPS_H

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <vector>

class QAbstractSpinBox;

// Steps of a spin box (arrow and Page keys, auto-repeated or not, and the wheel) that queued up
// while a library call froze the window are merged: none of them is written at once, and when
// the queue has drained, drained() asks for one write of the box's final value. A step that did
// not queue is written at once, as ever.
//
// An input event carries the time it was made, on the window system's clock; the offset to the
// window's clock is learnt from the freshest events seen. A step made before the last library
// call returned was waiting while it ran. Events without a time (synthesised ones) never queue.
class QueuedSteps : public QObject
{
    Q_OBJECT

public:
    explicit QueuedSteps(QObject *parent);

    void watch(QAbstractSpinBox *box);

    // Whether the change `box` reports now comes from a queued step. If so it is held, for
    // `channel`, and drained() follows once the queue is empty.
    bool hold(QAbstractSpinBox *box, uint32_t channel);

    struct Held
    {
        QAbstractSpinBox *box;
        uint32_t channel;
    };
    // The boxes whose steps are held, in the order they were first held; none are held after.
    std::vector<Held> takeHeld();

signals:
    void drained();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool queued(qint64 stamp);
    void note(QObject *box, bool queued);

    std::vector<Held> m_held;
    QTimer m_drained;
    const QObject *m_lastBox = nullptr;
    bool m_lastQueued = false;
    bool m_offsetKnown = false;
    qint64 m_offset = 0; // event time minus the window's time
};

#endif // QUEUEDSTEPS_H
