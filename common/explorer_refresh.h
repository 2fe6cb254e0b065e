// Tells open Explorer windows that show the namespace that the manager
// changed the device's state: a command to the namespace views and F5 in the
// folder trees.
#pragma once

#include <cstdint>

namespace hub {

inline constexpr uint32_t kNamespaceCommandMessage = 0x1FB0;
inline constexpr int64_t kNamespaceAfterConnect = 3005;
inline constexpr int64_t kNamespaceAfterDisconnect = 3006;
// The views re-read their folder after the library changed the device.
inline constexpr int64_t kNamespaceAfterChange = 3090;
inline constexpr const char* kNamespaceViewClass = "Quorral NameSpace Extension_NSClass";

// Posts the command to every namespace view inside an Explorer window.
void PostNamespaceCommand(int64_t code);
// Presses F5 in every Explorer folder tree.
void RefreshExplorerTrees();
void RefreshExplorerAfterConnect();
void RefreshExplorerAfterDisconnect();
void RefreshExplorerAfterChange();

}  // namespace hub
