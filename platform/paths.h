// Where per-user state lives on this machine. Every location can be moved by an
// environment variable so that tests are hermetic and run in parallel.
#pragma once

#include <string>

namespace hub::platform {

// $HUB_RUNTIME_DIR, else $XDG_RUNTIME_DIR/hub, else /tmp/hub-<uid>. Created (0700) on first use.
std::string RuntimeDir();

// $HUB_CONFIG_DIR, else $XDG_CONFIG_HOME/hub, else $HOME/.config/hub. Created on first use.
std::string ConfigDir();

// The system temporary folder: $TMPDIR when it names a folder, else /tmp. Ends without '/'.
std::string SystemTempDir();

// The per-user suffix of kernel object names ("." + uid), so users never meet.
std::string UserSuffix();

}  // namespace hub::platform
