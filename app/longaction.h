#ifndef LONGACTION_H
#define LONGACTION_H

#include "channelmodel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QProgressDialog;
class QWidget;

// An action of the window that may make many library calls: reading every channel, a restore.
// Each call stays synchronous; between two calls the program's windows are repainted, and once
// the action has run half a second a window-modal progress dialog says what is being done and
// offers Cancel, which takes effect at the model's next cancel check. Meanwhile input reaches
// the progress dialog only: a click or key meant for anything else is dropped, so nothing given
// while a call ran lands on a dialog that opens later. Closing the program's window cancels the
// action and closes the window once it has ended.
class LongAction : public QObject
{
    Q_OBJECT

public:
    // The progress dialog blocks `parent`'s window and is titled `title`.
    LongAction(QWidget *parent, const QString &title);
    ~LongAction() override;
    LongAction(const LongAction &) = delete;
    LongAction &operator=(const LongAction &) = delete;

    nexil::ChannelModel::Progress progress();
    nexil::ChannelModel::Cancel cancel();
    bool cancelled() const { return m_cancelled; }

    // The action under way, if any.
    static LongAction *running();
    // Cancels it; `then` runs from the event loop once it has ended.
    void stop(std::function<void()> then);
    // Something outside the window asks to stop (a signal): every cancel check says yes.
    static void setStopRequested(bool (*requested)());

    // How long the action runs before the progress dialog shows.
    static constexpr int showAfterMs = 500;
    // Events are let through at most this often; a repaint waits at most this and one call.
    static constexpr int passEveryMs = 20;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static void betweenCalls();
    // Shows the dialog once due and lets the events through.
    void pass();
    bool toDialog(QObject *watched) const;

    QPointer<QWidget> m_parent;
    QWidget *m_root;
    QString m_title;
    QString m_text;
    std::size_t m_done = 0;
    std::size_t m_total = 0;
    QProgressDialog *m_dialog = nullptr;
    QElapsedTimer m_started;
    QElapsedTimer m_passed;
    bool m_cancelled = false;
    bool m_closeAfter = false;
    std::function<void()> m_then;
    LongAction *m_outer;
};

#endif // LONGACTION_H
