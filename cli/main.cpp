// velotune-cli: the window's reads and writes from the command line, and settings snapshots.
// QtCore only, so it runs where there is no display.

#include "commandtable.h"
#include "exitcodes.h"
#include "interrupt.h"
#include "options.h"
#include "output.h"
#include "tracefile.h"
#include "version.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// The command's exit status, or the signal's when one ended it.
int runCommand(const Options &options)
{
    try {
        return cli::findCommand(options.command)->run(options);
    } catch (const interrupt::Interrupted &interrupted) {
        // Every system the command opened has been released while unwinding.
        output::err(QStringLiteral("interrupted by signal %1").arg(interrupted.signal));
        return exitcode::SignalBase + interrupted.signal;
    }
}

// A signal that ended a wait makes the command fail; it says why the command failed. One
// that came once the work and the release were done changes nothing. Output
// that did not arrive does: a gone reader ends as SIGPIPE would have, without the message.
int finalStatus(int status)
{
    if (status >= exitcode::SignalBase)
        return status;
    if (const int signal = interrupt::received(); signal != 0 && status != exitcode::Ok)
        return exitcode::SignalBase + signal;
    if (const int error = output::outError(); error != 0 && status == exitcode::Ok) {
        if (error == EPIPE)
            return exitcode::SignalBase + SIGPIPE;
        output::err(QStringLiteral("standard output: ")
                    + QString::fromLocal8Bit(std::strerror(error)));
        return exitcode::File;
    }
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    interrupt::installHandlers();
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Norvane"));
    QCoreApplication::setApplicationName(QStringLiteral("velotune-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELOTUNE_VERSION));

    Options options;
    QString error;
    if (!argumentsAreExact(argc, argv, &error)
        || !parseOptions(QCoreApplication::arguments(), &options, &error)) {
        output::err(error);
        return exitcode::Usage;
    }
    if (options.trace)
        QLoggingCategory::setFilterRules(
                QStringLiteral("velotune.controller.debug=true\nvelotune.cli.debug=true"));
    nexil::traceToFileIfAsked();
    return finalStatus(runCommand(options));
}
