// printf-style formatting into a string of the exact length, checked by the
// compiler against its arguments.
#pragma once

#include <string>

namespace hub {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace hub
