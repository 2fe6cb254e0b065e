// The tools of this library that the namespace reaches through its service
// table: installed once at the shell library's start-up.
#pragma once

namespace hub {

void InstallOptionTools();

}  // namespace hub
