#include "bootstrap/literal_format.h"

#include <cstring>

namespace tvc {

std::string literal_format(const char *text) {
    std::string format;
    format.reserve(std::strlen(text) + 8);
    for (const char *c = text; *c; ++c) {
        format += *c;
        if (*c == '%') {
            if (c[1] == '%') ++c;
            format += '%';
        }
    }
    return format;
}

}  // namespace tvc
