// Message boxes, folder, file and colour choosers and the wait cursor of the
// headless model. The UiDriver answers the boxes and choosers as a person would.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
// The folder, file and colour choosers open now, one line each.
std::string DescribePendingChoosers();

struct FolderRequest {
  WindowHandle owner = 0;
  std::string title;
  std::string initialFolder;
};

// The folder picked, or nothing when cancelled.
std::optional<std::string> BrowseForFolder(const FolderRequest& request);

// An open or save file chooser. The filter is the class library's form,
// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||".
struct FileRequest {
  WindowHandle owner = 0;
  bool save = false;
  std::string title;
  std::string filter;
  std::string defaultExtension;  // "exe" or ".exe": added to a chosen name without an extension
  std::string initialFolder;
  std::string fileName;          // the name proposed
  bool overwritePrompt = true;   // save: ask before an existing file is replaced
  bool fileMustExist = true;     // open: a name that is no file is refused

  // The filter's (description, patterns) pairs in order.
  std::vector<std::pair<std::string, std::string>> Filters() const;
};

// The file picked (default extension added, existence and replacement asked
// as the chooser does), or nothing when cancelled.
std::optional<std::string> ChooseFile(const FileRequest& request);

// The colour chooser; colours are COLORREF values (0x00BBGGRR).
struct ColorRequest {
  WindowHandle owner = 0;
  uint32_t initial = 0;
  std::array<uint32_t, 16> custom{};
};
// The colour picked, or nothing when cancelled.
std::optional<uint32_t> ChooseColor(const ColorRequest& request);
// "0xBBGGRR", a decimal COLORREF or "#RRGGBB" -> COLORREF.
std::optional<uint32_t> ParseColor(std::string_view text);
std::string FormatColor(uint32_t color);  // "0xBBGGRR"

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
