// Message boxes, folder choosers and the wait cursor, answered by the UiDriver.
#include "platform/ui/prompts.h"

#include <sys/stat.h>
#include <strings.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/ui/driver.h"

namespace hub::platform::ui {
namespace {

struct ButtonName_ {
  int id;
  const char* name;
};
constexpr ButtonName_ kButtonNames[] = {{kIdOk, "ok"},       {kIdCancel, "cancel"}, {kIdAbort, "abort"}, {kIdRetry, "retry"},
                                        {kIdIgnore, "ignore"}, {kIdYes, "yes"},       {kIdNo, "no"}};

std::atomic<int> gWaitDepth{0};

}  // namespace

std::vector<int> MessageBoxRequest::Buttons() const {
  switch (type & kMbButtonMask) {
    case kMbOkCancel: return {kIdOk, kIdCancel};
    case kMbAbortRetryIgnore: return {kIdAbort, kIdRetry, kIdIgnore};
    case kMbYesNoCancel: return {kIdYes, kIdNo, kIdCancel};
    case kMbYesNo: return {kIdYes, kIdNo};
    case kMbRetryCancel: return {kIdRetry, kIdCancel};
    default: return {kIdOk};
  }
}

int MessageBoxRequest::DefaultButton() const {
  auto buttons = Buttons();
  size_t index = (type & kMbDefMask) >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

int MessageBoxRequest::CloseAnswer() const {
  for (int b : Buttons())
    if (b == kIdCancel) return kIdCancel;
  return Buttons().size() == 1 ? Buttons().front() : DefaultButton();
}

const char* ButtonName(int id) {
  for (const auto& b : kButtonNames)
    if (b.id == id) return b.name;
  return "?";
}

int ParseButton(std::string_view text) {
  for (const auto& b : kButtonNames)
    if (text.size() == std::char_traits<char>::length(b.name) && ::strncasecmp(text.data(), b.name, text.size()) == 0)
      return b.id;
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '7') return text[0] - '0';
  return 0;
}

std::mutex& PendingMutex() {
  static std::mutex m;
  return m;
}
std::vector<MessageBoxRequest>& Pending() {
  static std::vector<MessageBoxRequest> pending;
  return pending;
}

int MessageBox(WindowHandle owner, std::string_view text, std::string_view caption, uint32_t type) {
  MessageBoxRequest request{owner, std::string(caption), std::string(text), type};
  {
    std::lock_guard l(PendingMutex());
    Pending().push_back(request);
  }
  struct PopOnExit {
    ~PopOnExit() {
      std::lock_guard l(PendingMutex());
      Pending().pop_back();
    }
  } pop;
  return TheUiDriver().AskMessageBox(request);
}

std::string DescribePendingMessages() {
  std::lock_guard l(PendingMutex());
  std::string out;
  for (const auto& m : Pending()) {
    out += "message box \"" + m.caption + "\": \"" + m.text + "\" buttons";
    for (int b : m.Buttons()) out += std::string(" ") + ButtonName(b) + (b == m.DefaultButton() ? "*" : "");
    out += "\n";
  }
  return out;
}

namespace {

std::vector<std::string>& Choosers() {
  static std::vector<std::string> open;
  return open;
}

// Lists the chooser while the driver has it open.
class PendingChooser {
 public:
  explicit PendingChooser(std::string line) {
    std::lock_guard l(PendingMutex());
    Choosers().push_back(std::move(line));
  }
  ~PendingChooser() {
    std::lock_guard l(PendingMutex());
    Choosers().pop_back();
  }
  PendingChooser(const PendingChooser&) = delete;
  PendingChooser& operator=(const PendingChooser&) = delete;
};

}  // namespace

std::string DescribePendingChoosers() {
  std::lock_guard l(PendingMutex());
  std::string out;
  for (const auto& line : Choosers()) out += line + "\n";
  return out;
}

std::optional<std::string> BrowseForFolder(const FolderRequest& request) {
  PendingChooser open("folder chooser \"" + request.title + "\"");
  return TheUiDriver().ChooseFolder(request);
}

std::vector<std::pair<std::string, std::string>> FileRequest::Filters() const {
  std::vector<std::pair<std::string, std::string>> out;
  std::vector<std::string> parts;
  std::string_view rest = filter;
  while (!rest.empty()) {
    size_t bar = rest.find('|');
    parts.emplace_back(rest.substr(0, bar));
    if (bar == std::string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }
  for (size_t i = 0; i + 1 < parts.size(); i += 2)
    if (!parts[i].empty()) out.emplace_back(parts[i], parts[i + 1]);
  return out;
}

namespace {

enum class PathKind { Missing, File, Other };

PathKind KindOfPath(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
  return S_ISREG(st.st_mode) ? PathKind::File : PathKind::Other;
}

std::string WithDefaultExtension(std::string path, std::string_view extension) {
  if (extension.empty()) return path;
  size_t slash = path.find_last_of('/');
  std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.empty() || name.find('.') != std::string_view::npos) return path;
  if (extension.front() != '.') path += '.';
  return path + std::string(extension);
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> ChooseFile(const FileRequest& request) {
  std::string caption = request.title.empty() ? (request.save ? "Save As" : "Open") : request.title;
  while (true) {
    std::optional<std::string> picked;
    {
      PendingChooser open(std::string(request.save ? "save" : "open") + " file chooser \"" + caption + "\"");
      picked = TheUiDriver().ChooseFile(request);
    }
    if (!picked || picked->empty()) return std::nullopt;
    std::string path = WithDefaultExtension(*picked, request.defaultExtension);
    PathKind kind = KindOfPath(path);
    if (kind == PathKind::Other) {
      MessageBox(request.owner, path + "\nThis is not a file.\nChoose a file and try again.", caption,
                 kMbOk | kMbIconWarning);
      continue;
    }
    if (!request.save) {
      if (kind == PathKind::Missing && request.fileMustExist) {
        MessageBox(request.owner, path + "\nFile not found.\nCheck the file name and try again.", caption,
                   kMbOk | kMbIconWarning);
        continue;
      }
      return path;
    }
    if (KindOfPath(ParentOf(path)) != PathKind::Other) {
      MessageBox(request.owner, path + "\nPath does not exist.\nCheck the path and try again.", caption,
                 kMbOk | kMbIconWarning);
      continue;
    }
    if (kind == PathKind::File && request.overwritePrompt &&
        MessageBox(request.owner, path + " already exists.\nDo you want to replace it?", caption,
                   kMbYesNo | kMbIconWarning) != kIdYes)
      continue;
    return path;
  }
}

std::optional<uint32_t> ParseColor(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  uint32_t v = 0;
  if (text.front() == '#') {
    text.remove_prefix(1);
    if (text.size() != 6) return std::nullopt;
    auto [end, ec] = std::from_chars(text.data(), text.data() + 6, v, 16);
    if (ec != std::errc() || end != text.data() + 6) return std::nullopt;
    // #RRGGBB -> 0x00BBGGRR
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (ec != std::errc() || end != text.data() + text.size() || v > 0xFFFFFF) return std::nullopt;
  return v;
}

std::string FormatColor(uint32_t color) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%06X", color & 0xFFFFFFu);
  return b;
}

std::optional<uint32_t> ChooseColor(const ColorRequest& request) {
  PendingChooser open("colour chooser " + FormatColor(request.initial));
  return TheUiDriver().ChooseColor(request);
}

WaitCursor::WaitCursor() { ++gWaitDepth; }
WaitCursor::~WaitCursor() { --gWaitDepth; }
int WaitCursorDepth() { return gWaitDepth; }

}  // namespace hub::platform::ui
