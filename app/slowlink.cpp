#include "slowlink.h"

#include "nexillibrary.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>

namespace slowlink {

namespace {

int depth = 0;
bool busy = false;
qint64 lastEnd = -1;
void (*afterCall)() = nullptr;

const QElapsedTimer &clock()
{
    static const QElapsedTimer timer = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return timer;
}

void callReturned(qint64 nanoseconds)
{
    lastEnd = clock().elapsed();
    if (depth > 0 && !busy && nanoseconds >= busyAfterNanoseconds) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        busy = true;
    }
    if (depth > 0 && afterCall != nullptr)
        afterCall();
}

} // namespace

Action::Action()
{
    // Only the window makes actions: velotune-cli's calls stay untimed.
    nexil::setCallObserver(&callReturned);
    ++depth;
}

Action::~Action()
{
    if (--depth == 0 && busy) {
        QGuiApplication::restoreOverrideCursor();
        busy = false;
    }
}

void setBetweenCalls(void (*betweenCalls)())
{
    afterCall = betweenCalls;
}

qint64 now()
{
    return clock().elapsed();
}

qint64 lastCallEnd()
{
    return lastEnd;
}

} // namespace slowlink
