// SHChangeNotify: tells the hosts that show the namespace which folders
// changed. In the process, registered listeners are called at once. Across
// processes, a host window registers a record (a mailbox file in
// <runtime>/shellnotify/ named by its handle); each notice is appended whole
// to every receiver's mailbox and announced to its window with a registered
// message (sent with a 2-second time-out for SHCNF_FLUSH, else posted).
// Records of windows that are gone are swept by the next sender.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/window/window.h"

namespace hub::platform {

inline constexpr uint32_t SHCNE_MKDIR = 0x08;
inline constexpr uint32_t SHCNE_RMDIR = 0x10;
inline constexpr uint32_t SHCNE_UPDATEDIR = 0x1000;
inline constexpr uint32_t SHCNF_IDLIST = 0x0000;
inline constexpr uint32_t SHCNF_FLUSH = 0x1000;

struct ChangeNotice {
  uint32_t event = 0;
  uint32_t flags = 0;
  std::vector<uint8_t> list1;  // the id lists' bytes with their terminators (empty: none)
  std::vector<uint8_t> list2;
};

// `item1`/`item2`: id lists (bytes) or null.
void SHChangeNotify(uint32_t event, uint32_t flags, const void* item1, const void* item2);

// Listeners in this process; the id removes one again.
int AddChangeListener(std::function<void(const ChangeNotice&)> listener);
void RemoveChangeListener(int id);

// The message a registered window receives when notices wait for it.
uint32_t ChangeNoticeMessage();
// Registers `window` to receive notices from every process; false when its record cannot be made.
bool RegisterChangeWindow(WindowHandle window);
void UnregisterChangeWindow(WindowHandle window);
// The notices waiting for `window`, oldest first; each is taken once.
std::vector<ChangeNotice> TakeChangeNotices(WindowHandle window);

}  // namespace hub::platform
