#ifndef SIMCALLS_H
#define SIMCALLS_H

#include "simcontrol.h"

#include <QString>
#include <QStringList>

namespace simcalls {

// The functions the simulator was called with since the last look, oldest first; the log is
// emptied, so the next look sees only what came after.
inline QStringList take()
{
    QStringList names;
    for (const nexilsim::Call &call : nexilsim::callLog())
        names << QString::fromStdString(call.function);
    nexilsim::clearCallLog();
    return names;
}

} // namespace simcalls

#endif // SIMCALLS_H
