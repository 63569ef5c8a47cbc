#include "jsondepth.h"

namespace nexilsim {

bool nestsDeeperThan(const std::string &text, int limit)
{
    int depth = 0;
    bool inString = false;
    bool escape = false;
    for (const char c : text) {
        if (inString) {
            if (escape)
                escape = false;
            else if (c == '\\')
                escape = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

} // namespace nexilsim
