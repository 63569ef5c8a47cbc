#ifndef TESTUTILS_H
#define TESTUTILS_H

#include <QApplication>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testutils {

// Finds a named child, failing the calling test (via the returned null) when it is missing.
template<class T>
T *child(const QObject *parent, const char *name)
{
    T *object = parent->findChild<T *>(QString::fromLatin1(name));
    if (!object)
        qWarning("no child %s named %s", T::staticMetaObject.className(), name);
    return object;
}

// The store the program uses; tests run with XDG_CONFIG_HOME pointing at a scratch folder.
inline QSettings programSettings()
{
    return QSettings(QStringLiteral("Norvane"), QStringLiteral("Velotune"));
}

// Runs `handle` on the next modal widget that opens (the caller then blocks in exec()), so a
// test can look at a dialog and close it. Gives up after `timeoutMs`.
inline void onNextModal(std::function<void(QWidget *)> handle, int timeoutMs = 5000)
{
    auto *timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, handle, timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        *waited += timer->interval();
        if (modal || *waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            if (modal)
                handle(modal);
        }
    });
    timer->start();
}

inline bool showAndActivate(QWidget *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

} // namespace testutils

#endif // TESTUTILS_H
