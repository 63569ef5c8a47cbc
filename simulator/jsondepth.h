#ifndef NEXILSIM_JSONDEPTH_H
#define NEXILSIM_JSONDEPTH_H

#include <string>

namespace nexilsim {

// True when arrays and objects in `text` nest more than `limit` deep. One pass over the bytes,
// strings skipped, so the check costs the same whatever the document holds; malformed text is
// left to the parser to refuse. Checked before parsing: a parser callback for the same limit
// costs time quadratic in the number of values.
bool nestsDeeperThan(const std::string &text, int limit);

} // namespace nexilsim

#endif // NEXILSIM_JSONDEPTH_H
