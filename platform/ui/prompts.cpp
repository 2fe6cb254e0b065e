// Message boxes, folder choosers and the wait cursor, answered by the UiDriver.
#include "platform/ui/prompts.h"

#include <atomic>
#include <mutex>
#include <vector>
#include <strings.h>

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

std::optional<std::string> BrowseForFolder(const FolderRequest& request) { return TheUiDriver().ChooseFolder(request); }

WaitCursor::WaitCursor() { ++gWaitDepth; }
WaitCursor::~WaitCursor() { --gWaitDepth; }
int WaitCursorDepth() { return gWaitDepth; }

}  // namespace hub::platform::ui
