#ifndef SLOWLINK_H
#define SLOWLINK_H

#include <QtGlobal>

// How a slow controller link shows in the window. Every library call is synchronous, so a slow
// one freezes the window; the busy pointer says so, and the time the last call returned tells
// input that queued up meanwhile from input that came later.
namespace slowlink {

// A call that took this long turns the pointer busy for the rest of its action.
constexpr qint64 busyAfterNanoseconds = qint64(100) * 1000 * 1000;

// One user action and the library calls it makes. Once one of them has taken
// busyAfterNanoseconds or more, the rest run under the busy pointer, which is back as it was
// when the action ends, however it ends. Actions nest: the read-back of a connect is part of
// the connect.
class Action
{
public:
    Action();
    ~Action();
    Action(const Action &) = delete;
    Action &operator=(const Action &) = delete;
};

// Run after every library call a window action makes, or nothing when null: a long action
// lets events through there.
void setBetweenCalls(void (*betweenCalls)());

// The window's clock, in milliseconds from an arbitrary start.
qint64 now();
// When, on that clock, the last library call returned; -1 before the first.
qint64 lastCallEnd();

} // namespace slowlink

#endif // SLOWLINK_H
