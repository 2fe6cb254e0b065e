// Our declarations of the media-library plug-in interface: the records a
// plug-in and its host exchange, the request message and its codes, and the
// host functions. One header for both sides; where the interface has
// pointers the fields are pointer-sized, and every offset is pinned.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hub::platform::winamp {

// Requests to the library window: message 0x1400 with the code in lParam.
inline constexpr uint32_t kWmMlIpc = 0x1400;
inline constexpr int64_t kMlIpcAddTreeItem = 0x101;     // wParam: MlTreeItemRequest*
inline constexpr int64_t kMlIpcSendToWinamp = 0x302;    // wParam: MlSendRequest*
inline constexpr int64_t kMlIpcSkinList = 0x500;        // wParam: the list's window; answers a handle
inline constexpr int64_t kMlIpcUnskinList = 0x501;      // wParam: that handle
inline constexpr int64_t kMlIpcGetHostFunction = 0x600;  // wParam: the function's code; answers it or 0

// Messages of the host to a plug-in's message function.
inline constexpr int kMlMsgTreeItemOpen = 0x100;  // param1: tree entry id, param2: the parent window

// Host functions by code.
inline constexpr int kHostColour = 1;
inline constexpr int kHostDialogMessage = 2;
inline constexpr int kHostPaintBorders = 3;
inline constexpr int kHostLayoutInit = 32;
inline constexpr int kHostLayoutUpdate = 33;

inline constexpr int32_t kMlPluginVersion = 0x15;
inline constexpr int kMlSendTrackList = 0;

using MlWindow = uint64_t;  // a window handle, pointer-sized

using MlInitFunction = int (*)();
using MlQuitFunction = void (*)();
using MlMessageFunction = intptr_t (*)(int message, intptr_t param1, intptr_t param2, intptr_t param3);

// What the plug-in's export hands the host.
struct MlPlugin {
  int32_t version;
  const char* description;
  MlInitFunction init;
  MlQuitFunction quit;
  MlMessageFunction messageProc;
  MlWindow winampWindow;   // filled by the host
  MlWindow libraryWindow;  // filled by the host: every request goes there
  void* instance;          // filled by the export
};
static_assert(offsetof(MlPlugin, version) == 0);
static_assert(offsetof(MlPlugin, description) == 8);
static_assert(offsetof(MlPlugin, init) == 16);
static_assert(offsetof(MlPlugin, quit) == 24);
static_assert(offsetof(MlPlugin, messageProc) == 32);
static_assert(offsetof(MlPlugin, winampWindow) == 40);
static_assert(offsetof(MlPlugin, libraryWindow) == 48);
static_assert(offsetof(MlPlugin, instance) == 56);
static_assert(sizeof(MlPlugin) == 64);

using MlGetPluginFunction = MlPlugin* (*)();
inline constexpr const char* kMlGetPluginExport = "winampGetMediaLibraryPlugin";

struct MlTreeItemRequest {
  intptr_t parentId;
  const char* title;
  int32_t hasChildren;
  intptr_t id;  // written by the host
};
static_assert(offsetof(MlTreeItemRequest, parentId) == 0);
static_assert(offsetof(MlTreeItemRequest, title) == 8);
static_assert(offsetof(MlTreeItemRequest, hasChildren) == 16);
static_assert(offsetof(MlTreeItemRequest, id) == 24);
static_assert(sizeof(MlTreeItemRequest) == 32);

struct MlTrackRecord {
  const char* url;
  const char* title;
  const char* album;
  const char* artist;
  const char* comment;
  const char* genre;
  int32_t year;
  int32_t track;
  int32_t length;  // seconds
  const char** extendedInfo;
};
static_assert(offsetof(MlTrackRecord, url) == 0);
static_assert(offsetof(MlTrackRecord, genre) == 40);
static_assert(offsetof(MlTrackRecord, year) == 48);
static_assert(offsetof(MlTrackRecord, track) == 52);
static_assert(offsetof(MlTrackRecord, length) == 56);
static_assert(offsetof(MlTrackRecord, extendedInfo) == 64);
static_assert(sizeof(MlTrackRecord) == 72);

struct MlTrackList {
  MlTrackRecord* items;
  int32_t size;
  int32_t allocated;
};
static_assert(offsetof(MlTrackList, items) == 0);
static_assert(offsetof(MlTrackList, size) == 8);
static_assert(offsetof(MlTrackList, allocated) == 12);
static_assert(sizeof(MlTrackList) == 16);

struct MlSendRequest {
  int32_t type;  // kMlSendTrackList
  void* data;    // MlTrackList*
  int32_t enqueue;
};
static_assert(offsetof(MlSendRequest, type) == 0);
static_assert(offsetof(MlSendRequest, data) == 8);
static_assert(offsetof(MlSendRequest, enqueue) == 16);
static_assert(sizeof(MlSendRequest) == 24);

// One entry of the layout table: a control id and how it follows the window's size.
struct MlLayoutEntry {
  int32_t id;
  int32_t flags;
  int32_t reserved[4];
};
static_assert(sizeof(MlLayoutEntry) == 24);

using MlColourFunction = uint32_t (*)(int index);
using MlDialogMessageFunction = intptr_t (*)(MlWindow dialog, uint32_t message, uint64_t wParam, int64_t lParam);
using MlPaintBordersFunction = void (*)(MlWindow dialog, const int32_t* controls, int count);
using MlLayoutFunction = void (*)(MlWindow dialog, MlLayoutEntry* table, int count);

// The library window of the host is a top-level window of this class, a
// child of the "Winamp v1.x" main window.
inline constexpr const char* kWinampMainClass = "Winamp v1.x";
inline constexpr const char* kWinampLibraryClass = "Winamp Gen";

}  // namespace hub::platform::winamp
