#include "quitsignals.h"

#include <QSocketNotifier>

#include <csignal>

#ifdef Q_OS_UNIX
#    include <cerrno>

#    include <signal.h>
#    include <sys/socket.h>
#    include <unistd.h>
#endif

namespace quitsignals {

#ifdef Q_OS_UNIX

namespace {

volatile std::sig_atomic_t pending = 0;
int wakeFds[2] = {-1, -1};

extern "C" void onSignal(int signal)
{
    const int saved = errno;
    pending = signal;
    const char byte = 1;
    // Full or not, the loop is woken; the byte itself carries nothing.
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

bool install(QObject *parent, std::function<void(int signal)> quit)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0)
        return false;
    auto *notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent,
                     [notifier, quit = std::move(quit)] {
                         char bytes[16];
                         while (::read(wakeFds[0], bytes, sizeof bytes) > 0) { }
                         // Once: the rest happens on the way out.
                         notifier->setEnabled(false);
                         quit(int(pending));
                     });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // The first signal asks for an orderly end; the next one takes the default action.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    return true;
}

int received()
{
    return int(pending);
}

#else
// Elsewhere the signals keep their default action.
bool install(QObject *, std::function<void(int)>)
{
    return false;
}

int received()
{
    return 0;
}
#endif

} // namespace quitsignals
