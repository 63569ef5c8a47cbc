#ifndef ESCAPED_H
#define ESCAPED_H

#include "escaping.h"

// The controller layer's messages and traces write names out as the window's boxes do.
namespace nexil {
using text::escaped;
} // namespace nexil

#endif // ESCAPED_H
