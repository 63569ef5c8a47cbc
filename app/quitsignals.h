#ifndef QUITSIGNALS_H
#define QUITSIGNALS_H

#include <functional>

class QObject;

// SIGTERM, SIGINT and SIGHUP end the window in order: the handler only notes the signal and
// wakes the event loop through a socket pair, and `quit` runs from the event loop; a long
// action sees the signal at its next cancel check. A second signal ends the program at once.
namespace quitsignals {

// False when the socket pair or the notifier could not be made; the signals then keep their
// default action.
bool install(QObject *parent, std::function<void(int signal)> quit);
// The signal received, 0 if none. Safe to ask between library calls.
int received();

} // namespace quitsignals

#endif // QUITSIGNALS_H
