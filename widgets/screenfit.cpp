#include "screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace screenfit {

void fitToScreen(QWidget *window)
{
    if (window->isMaximized() || window->isFullScreen())
        return;
    const QScreen *screen = window->screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->size().boundedTo(area.size()).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);
    if (!window->testAttribute(Qt::WA_Moved))
        return;
    QRect geometry = window->geometry();
    geometry.moveRight(std::min(geometry.right(), area.right()));
    geometry.moveBottom(std::min(geometry.bottom(), area.bottom()));
    geometry.moveLeft(std::max(geometry.left(), area.left()));
    geometry.moveTop(std::max(geometry.top(), area.top()));
    if (geometry.topLeft() != window->pos())
        window->move(geometry.topLeft());
}

} // namespace screenfit
