// Where per-user state lives on this machine. Every location can be moved by an
// environment variable so that tests are hermetic and run in parallel.
#pragma once

#include <string>

#include "platform/status.h"

namespace hub::platform {

// Makes `dir` (mode 0700; missing parents as usual) when it is missing, then
// checks with lstat that it is a directory, not a link, owned by this user,
// with no group or other access. A folder made first by somebody else in a
// shared place fails here, so nobody else receives our sockets and files.
Status EnsurePrivateDir(const std::string& dir);

// $HUB_RUNTIME_DIR, else $XDG_RUNTIME_DIR/hub, else <system temporary folder>/hub-<uid>.
// Created private on first use; throws std::runtime_error saying why when the
// folder is not private.
std::string RuntimeDir();

// <system temporary folder>/hub-temp-<uid>, private as above: the home of the
// programs' temporary folders.
std::string PrivateTempDir();

// $HUB_CONFIG_DIR, else $XDG_CONFIG_HOME/hub, else $HOME/.config/hub. Created on first use.
std::string ConfigDir();

// The system temporary folder: $TMPDIR when it names a folder, else /tmp. Ends without '/'.
std::string SystemTempDir();

// The per-user suffix of kernel object names ("." + uid), so users never meet.
std::string UserSuffix();

}  // namespace hub::platform
