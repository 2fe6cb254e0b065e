// Tool bar and status bar of the model.
#include "platform/ui/bars.h"

#include <algorithm>
#include <charconv>

#include "platform/ui/ui_window.h"

namespace hub::platform::ui {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

}  // namespace

// --- Toolbar

int Toolbar::AddBitmap(int count) {
  Lock l(ModelMutex());
  int first = images_;
  images_ += std::max(count, 0);
  return first;
}
int Toolbar::ImageCount() const { return images_; }

int Toolbar::AddStrings(const std::vector<std::string>& texts) {
  Lock l(ModelMutex());
  int first = static_cast<int>(strings_.size());
  strings_.insert(strings_.end(), texts.begin(), texts.end());
  return first;
}
std::string Toolbar::String(int index) const {
  Lock l(ModelMutex());
  return index >= 0 && index < static_cast<int>(strings_.size()) ? strings_[index] : std::string();
}

void Toolbar::AddButton(const Button& button) { AddButtons({button}); }
void Toolbar::AddButtons(const std::vector<Button>& buttons) {
  {
    Lock l(ModelMutex());
    buttons_.insert(buttons_.end(), buttons.begin(), buttons.end());
  }
  Changed();
}
void Toolbar::DeleteAllButtons() {
  {
    Lock l(ModelMutex());
    buttons_.clear();
  }
  Changed();
}
std::vector<Toolbar::Button> Toolbar::Buttons() const {
  Lock l(ModelMutex());
  return buttons_;
}
int Toolbar::ButtonCount() const {
  Lock l(ModelMutex());
  return static_cast<int>(buttons_.size());
}

bool Toolbar::CheckButton(int command, bool checked) {
  bool found = false;
  {
    Lock l(ModelMutex());
    for (Button& b : buttons_)
      if (!(b.style & kTbstyleSep) && b.command == command) {
        b.state = checked ? b.state | kTbstateChecked : b.state & ~kTbstateChecked;
        found = true;
      }
  }
  if (found) Changed();
  return found;
}
bool Toolbar::IsChecked(int command) const {
  Lock l(ModelMutex());
  for (const Button& b : buttons_)
    if (!(b.style & kTbstyleSep) && b.command == command) return (b.state & kTbstateChecked) != 0;
  return false;
}
bool Toolbar::HasButton(int command) const {
  Lock l(ModelMutex());
  return std::any_of(buttons_.begin(), buttons_.end(),
                     [&](const Button& b) { return !(b.style & kTbstyleSep) && b.command == command; });
}
void Toolbar::AutoSize() { ++autoSized_; }
int Toolbar::AutoSizeCount() const { return autoSized_; }

bool Toolbar::Press(int command) {
  if (!HasButton(command) || !IsEnabled()) return false;
  owner_.OnMessage(kWmCommand, static_cast<uint64_t>(command & 0xFFFF), 0);
  return true;
}

std::string Toolbar::Value() const {
  Lock l(ModelMutex());
  std::string v;
  for (const Button& b : buttons_) {
    if (!v.empty()) v += ' ';
    if (b.style & kTbstyleSep) {
      v += '|';
      continue;
    }
    std::string name = b.text.empty() ? std::to_string(b.command) : b.text;
    v += (b.state & kTbstateChecked) ? "[" + name + "]" : name;
  }
  return v;
}

bool Toolbar::ApplyUserValue(std::string_view value, std::string& error) {
  int command = 0;
  {
    Lock l(ModelMutex());
    for (const Button& b : buttons_) {
      if (b.style & kTbstyleSep) continue;
      int asNumber = 0;
      auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), asNumber);
      bool numberMatch = ec == std::errc() && end == value.data() + value.size() && asNumber == b.command;
      if (numberMatch || b.text == value) {
        command = b.command;
        break;
      }
    }
  }
  if (!command || !Press(command)) {
    error = "no button " + std::string(value);
    return false;
  }
  return true;
}

// --- StatusBar

void StatusBar::SetParts(const std::vector<int>& rightEdges) {
  {
    Lock l(ModelMutex());
    parts_ = rightEdges.empty() ? std::vector<int>{-1} : rightEdges;
    texts_.resize(parts_.size());
    ++writes_;
  }
  Changed();
}
std::vector<int> StatusBar::Parts() const {
  Lock l(ModelMutex());
  return parts_;
}
void StatusBar::SetPartText(int part, std::string_view text) {
  {
    Lock l(ModelMutex());
    if (part < 0 || part >= static_cast<int>(texts_.size())) return;
    texts_[part] = text;
    ++writes_;
  }
  Changed();
}
std::string StatusBar::PartText(int part) const {
  Lock l(ModelMutex());
  return part >= 0 && part < static_cast<int>(texts_.size()) ? texts_[part] : std::string();
}
int StatusBar::Writes() const {
  Lock l(ModelMutex());
  return writes_;
}

std::string StatusBar::Value() const {
  Lock l(ModelMutex());
  std::string v;
  for (size_t i = 0; i < texts_.size(); ++i) v += (i ? " | " : "") + texts_[i];
  return v;
}

}  // namespace hub::platform::ui
