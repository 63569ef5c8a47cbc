#ifndef TRACEFILE_H
#define TRACEFILE_H

namespace nexil {

// With VELOTUNE_TRACE_FILE set, the library trace is switched on and appended to that file,
// one time-stamped line per call, instead of going to standard error: a record of what was
// sent that outlives a program started from a desktop entry. Warnings still reach standard
// error too. Call once, early in main.
void traceToFileIfAsked();

} // namespace nexil

#endif // TRACEFILE_H
