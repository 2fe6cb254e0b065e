// The entry every program goes through: a failure that nothing below handled
// (a private folder that is refused, say) ends the program with its message
// and status 1, not with an abort and a core file.
#pragma once

namespace hub::platform {

int RunProgram(int (*body)(int argc, char** argv), int argc, char** argv);

}  // namespace hub::platform
