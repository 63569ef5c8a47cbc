#include "interrupt.h"

#include <csignal>

#include <signal.h>

namespace interrupt {

namespace {

volatile std::sig_atomic_t pending = 0;

extern "C" void onSignal(int signal)
{
    pending = signal;
}

} // namespace

void installHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // The first signal asks for an orderly end; the next one takes the default action.
    action.sa_flags = SA_RESETHAND;
    // A closed terminal and Ctrl+\ as well: each would otherwise end the program between a
    // write and its report, with the controller still held.
    const int ending[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (const int signal : ending)
        sigaction(signal, &action, nullptr);
    // Past a file-size limit a write fails with EFBIG, reported like a full disk, instead of
    // the signal ending the program with a temporary file left behind.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
    // A reader that went away shows as EPIPE on the next write, so the controller is still
    // released and what was done still reported on stderr.
    sigaction(SIGPIPE, &ignore, nullptr);
}

int received()
{
    return pending;
}

void check()
{
    if (const int signal = pending)
        throw Interrupted{signal};
}

} // namespace interrupt
