#ifndef FIRSTFRAME_H
#define FIRSTFRAME_H

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

// Ends the event loop at the first idle moment after a window has been exposed, so a run
// measures start-up up to the first frame and nothing after it. Installed on the application
// before the window is shown, so an expose delivered during show() is not missed.
class QuitAfterFirstExpose : public QObject
{
public:
    explicit QuitAfterFirstExpose(QCoreApplication *app) : QObject(app)
    {
        app->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && watched->isWindowType()
            && static_cast<QWindow *>(watched)->isExposed()) {
            QCoreApplication::instance()->removeEventFilter(this);
            // Queued behind the expose, which paints the first frame while it is handled.
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        }
        return false;
    }
};

#endif // FIRSTFRAME_H
