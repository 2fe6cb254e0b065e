// Message boxes, folder choosers and the wait cursor of the headless model.
// The UiDriver answers the first two as a person would.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/ui_types.h"

namespace hub::platform::ui {

struct MessageBoxRequest {
  WindowHandle owner = 0;
  std::string caption;
  std::string text;
  uint32_t type = kMbOk;

  // The buttons of the type, in order (IDOK, IDCANCEL ...).
  std::vector<int> Buttons() const;
  int DefaultButton() const;
  // The answer a closed box gives (IDCANCEL where there is one, else the default).
  int CloseAnswer() const;
  bool Topmost() const { return (type & kMbTopmost) != 0; }
};

const char* ButtonName(int id);
// "ok", "yes", "2" ... -> the button id (0 when unknown).
int ParseButton(std::string_view text);

// Shows the box and returns the button pressed.
int MessageBox(WindowHandle owner, std::string_view text, std::string_view caption, uint32_t type);
// The boxes waiting for an answer now, one line each (for hubplat).
std::string DescribePendingMessages();

struct FolderRequest {
  WindowHandle owner = 0;
  std::string title;
  std::string initialFolder;
};

// The folder picked, or nothing when cancelled.
std::optional<std::string> BrowseForFolder(const FolderRequest& request);

// Shows the wait cursor while it lives; nests.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};
int WaitCursorDepth();

}  // namespace hub::platform::ui
