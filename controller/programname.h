#ifndef PROGRAMNAME_H
#define PROGRAMNAME_H

#include <QString>

namespace nexil {

// The name the trace and the journal record a program's calls under: the executable's file
// name, or the name a host without a QCoreApplication (the Python module) gives itself.
QString programName();
// Call before the first call is traced.
void setProgramName(const QString &name);

} // namespace nexil

#endif // PROGRAMNAME_H
