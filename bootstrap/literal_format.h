// Caller text made safe to hand to a printf-style function as its format.
#pragma once

#include <string>

namespace tvc {

// Doubles every lone '%' and keeps "%%" as it is, so the text prints as
// written except that "%%" prints one '%', as it always did. Nothing the
// caller writes is read as a conversion.
std::string literal_format(const char *text);

}  // namespace tvc
