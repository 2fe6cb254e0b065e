// One line on the standard error for a failure that has no caller to report
// to (a worker thread, a handler that must not stop the server, a store that
// falls back to defaults). Lines from several threads never mix.
#pragma once

#include <string_view>

namespace hub::platform {

// Writes "<program>: <where>: <what>\n" in one write.
void LogError(std::string_view where, std::string_view what);

}  // namespace hub::platform
