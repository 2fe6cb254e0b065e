// The transfer engine's entries in the namespace's service table.
#pragma once

namespace hub {

// Installs what the engine has so far: the metadata readers, the trim and the
// names from the path. Called once at the library's start-up.
void InstallTransferEngineServices();

}  // namespace hub
