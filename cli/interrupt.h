#ifndef CLI_INTERRUPT_H
#define CLI_INTERRUPT_H

// SIGINT, SIGTERM, SIGHUP and SIGQUIT end the program at the next pause between two library calls,
// so a call in progress is never cut off and every open system is released on the way out. A second
// signal ends it at once, as if no handler were installed. SIGPIPE is ignored: a closed standard
// output shows as a failed write instead of ending the program before the release. SIGXFSZ too: a
// file past its size limit fails to be written, as on a full disk.
namespace interrupt {

struct Interrupted
{
    int signal;
};

void installHandlers();
// The signal received so far, 0 if none.
int received();
// Throws Interrupted once a signal has arrived.
void check();

} // namespace interrupt

#endif // CLI_INTERRUPT_H
