// Windows, dialogs, data exchange, property pages and sheets of the model.
#include "platform/ui/ui_window.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <map>
#include <stdexcept>

#include "platform/ui/driver.h"
#include "platform/ui/prompts.h"
#include "platform/ui/screen.h"

namespace hub::platform::ui {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

std::map<WindowHandle, Window*>& OpenTable() {
  static std::map<WindowHandle, Window*> table;
  return table;
}
std::vector<Window*>& ModalStack() {
  static std::vector<Window*> stack;
  return stack;
}

// Model handles carry the top bit, so they never meet handles of the window layer.
WindowHandle NewHandle() {
  static std::atomic<uint32_t> next{1};
  return 0x80000000u | ((static_cast<uint32_t>(::getpid()) & 0x7FFu) << 20) | (next++ & 0xFFFFFu);
}

}  // namespace

// Timers live in pump.cpp; these two are its entry points.
void RegisterModelTimer(Window* window, int id, int periodMs);
void UnregisterModelTimers(Window* window, int id);

std::string UiAction::Describe() const {
  switch (kind) {
    case Kind::Press: return "press " + std::to_string(id);
    case Kind::Set: return "set " + std::to_string(id) + "=\"" + text + "\"";
    case Kind::SelectPage: return "select page \"" + text + "\"";
    case Kind::Key: return "key " + std::to_string(id) + (text.empty() ? "" : " with " + text);
    case Kind::AnswerMessage: return std::string("answer message box with ") + ButtonName(id);
    case Kind::ChooseMenu: return "choose menu command " + std::to_string(id);
    case Kind::PickFolder: return text.empty() ? "cancel folder chooser" : "pick folder \"" + text + "\"";
    case Kind::PickFile: return text.empty() ? "cancel file chooser" : "pick file \"" + text + "\"";
    case Kind::PickColor: return text.empty() ? "cancel colour chooser" : "pick colour " + text;
    case Kind::DropFiles: {
      std::string out = "drop";
      for (const auto& p : DroppedFiles()) out += " \"" + p + "\"";
      return out;
    }
    case Kind::Pump: return "wait " + std::to_string(id) + " ms for the UI thread's work";
    case Kind::Call: return "run a step of the script";
  }
  return "?";
}

UiAction UiAction::DropFiles(const std::vector<std::string>& paths) {
  std::string text;
  for (const auto& p : paths) text += (text.empty() ? "" : "\n") + p;
  return {Kind::DropFiles, 0, std::move(text), {}};
}

std::vector<std::string> UiAction::DroppedFiles() const {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    if (nl > at) out.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  return out;
}

// --- Window

Window::Window(std::string caption, WindowHandle parent) : parent_(parent), caption_(std::move(caption)) {}

Window::~Window() { DestroyWindowModel(); }

std::string Window::Caption() const {
  Lock l(ModelMutex());
  return caption_;
}
void Window::SetCaption(std::string_view caption) {
  {
    Lock l(ModelMutex());
    caption_ = caption;
  }
  if (Exists()) TheUiDriver().WindowChanged(*this);
}
bool Window::IsVisible() const { return visible_; }
void Window::Show(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (Exists()) TheUiDriver().WindowChanged(*this);
}
bool Window::IsTopmost() const { return topmost_; }
void Window::SetTopmost(bool topmost) { topmost_ = topmost; }
Rect Window::Bounds() const { return bounds_; }
void Window::SetBounds(const Rect& bounds) { bounds_ = bounds; }
void Window::CenterOnScreen() {
  Rect s = ScreenRect();
  int w = bounds_.Width(), h = bounds_.Height();
  bounds_.left = s.left + (s.Width() - w) / 2;
  bounds_.top = s.top + (s.Height() - h) / 2;
  bounds_.right = bounds_.left + w;
  bounds_.bottom = bounds_.top + h;
}

Control* Window::FindControl(int id) const {
  Lock l(ModelMutex());
  for (auto& c : controls_)
    if (c->Id() == id) return c.get();
  return nullptr;
}
std::vector<Control*> Window::Controls() const {
  Lock l(ModelMutex());
  std::vector<Control*> out;
  for (auto& c : controls_) out.push_back(c.get());
  return out;
}
void Window::AdoptControl(std::unique_ptr<Control> control) {
  Lock l(ModelMutex());
  controls_.push_back(std::move(control));
}
void Window::RemoveControl(const Control* control) {
  Lock l(ModelMutex());
  std::erase_if(controls_, [&](const std::unique_ptr<Control>& c) { return c.get() == control; });
}
void Window::MissingControl(int id) const {
  throw std::logic_error("window \"" + Caption() + "\" has no control " + std::to_string(id) + " of that kind");
}

void Window::CreateWindowModel() {
  if (handle_) return;
  Lock l(ModelMutex());
  handle_ = NewHandle();
  OpenTable()[handle_] = this;
}

void Window::BindToHandle(WindowHandle handle) {
  if (handle_ || !handle) return;
  Lock l(ModelMutex());
  handle_ = handle;
  OpenTable()[handle_] = this;
}

void Window::DestroyWindowModel() {
  if (!handle_) return;
  OnDestroy();
  UnregisterModelTimers(this, 0);
  visible_ = false;
  TheUiDriver().WindowDestroyed(*this);
  Lock l(ModelMutex());
  OpenTable().erase(handle_);
  auto& stack = ModalStack();
  stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
  handle_ = 0;
  controls_.clear();
}

int Window::RunModalLoop() {
  CreateWindowModel();
  modal_ = true;
  ended_ = false;
  result_ = 0;
  {
    Lock l(ModelMutex());
    ModalStack().push_back(this);
  }
  Show(true);
  struct PopOnExit {
    Window* w;
    ~PopOnExit() {
      Lock l(ModelMutex());
      auto& stack = ModalStack();
      stack.erase(std::remove(stack.begin(), stack.end(), w), stack.end());
      w->modal_ = false;
    }
  } pop{this};
  if (!ended_) TheUiDriver().RunModal(*this);
  return result_;
}

void Window::EndModal(int result) {
  result_ = result;
  ended_ = true;
}

Control* Window::ControlForAction(int id) const {
  Control* c = FindControl(id);
  if (!c) throw UiScriptError("window \"" + Caption() + "\" has no control " + std::to_string(id));
  if (!c->IsEnabled() || !c->IsVisible())
    throw UiScriptError("control " + std::to_string(id) + " of \"" + Caption() + "\" is disabled or hidden");
  return c;
}

void Window::ApplyAction(const UiAction& action) {
  using K = UiAction::Kind;
  Window* target = ActionTarget();
  // Controls of the active page first, then the window's own (a sheet's tree).
  if (target != this && !target->FindControl(action.id) && FindControl(action.id)) target = this;
  switch (action.kind) {
    case K::Press: {
      if (action.id != kIdOk && action.id != kIdCancel) {
        Control* c = target->ControlForAction(action.id);
        if (auto* check = dynamic_cast<CheckBox*>(c)) check->SetCheck(check->Check() ? 0 : 1);
        else if (c->Kind() != ControlKind::Button)
          throw UiScriptError("control " + std::to_string(action.id) + " is not a button");
        target->OnCommand(action.id);
      } else if (!OnCommand(action.id)) {
        EndModal(action.id);
      }
      return;
    }
    case K::Set: {
      std::string error;
      if (!target->ControlForAction(action.id)->ApplyUserValue(action.text, error))
        throw UiScriptError("cannot set control " + std::to_string(action.id) + " of \"" + target->Caption() +
                            "\": " + error);
      return;
    }
    case K::DropFiles: {
      if (!target->AcceptsFiles() && AcceptsFiles()) target = this;
      if (!target->AcceptsFiles())
        throw UiScriptError("\"" + target->Caption() + "\" does not accept dropped files now");
      target->OnDropFiles(action.DroppedFiles());
      return;
    }
    case K::Key: {
      bool ctrl = action.text.find("ctrl") != std::string::npos;
      bool shift = action.text.find("shift") != std::string::npos;
      if (!OnKey(action.id, ctrl, shift)) throw UiScriptError("\"" + Caption() + "\" did not take the key");
      return;
    }
    default:
      throw UiScriptError("\"" + Caption() + "\" (a " + KindName() + ") is waiting, not a " + action.Describe());
  }
}

void Window::SetTimer(int id, int periodMs) { RegisterModelTimer(this, id, periodMs); }
void Window::KillTimer(int id) { UnregisterModelTimers(this, id); }

void Window::ControlChanged(Control&) {
  if (Exists() && visible_) TheUiDriver().WindowChanged(*this);
}

std::string Window::Describe() const {
  Lock l(ModelMutex());
  char head[64];
  std::snprintf(head, sizeof head, "%s 0x%08x", KindName(), handle_);
  std::string out = head;
  if (TemplateId()) out += " template " + std::to_string(TemplateId());
  out += " \"" + caption_ + "\"";
  if (modal_) out += " modal";
  if (!visible_) out += " hidden";
  if (topmost_) out += " topmost";
  if (acceptsFiles_) out += " accepts-files";
  out += "\n";
  for (auto& c : controls_) {
    if (!c->IsVisible()) continue;
    out += "  " + std::to_string(c->Id()) + " " + ControlKindName(c->Kind());
    if (c->Kind() != ControlKind::Edit && c->Kind() != ControlKind::Static && !c->Text().empty())
      out += " \"" + c->Text() + "\"";
    if (c->Kind() != ControlKind::Button) out += ": " + c->Value();
    if (!c->IsEnabled()) out += " (disabled)";
    out += "\n";
  }
  return out;
}

Window* FindModelWindow(WindowHandle handle) {
  Lock l(ModelMutex());
  auto it = OpenTable().find(handle);
  return it == OpenTable().end() ? nullptr : it->second;
}
bool IsModelWindow(WindowHandle handle) { return FindModelWindow(handle) != nullptr; }

std::string DescribeOpenWindows() {
  Lock l(ModelMutex());
  std::string out;
  for (auto& [h, w] : OpenTable())
    if (w->IsVisible() && !dynamic_cast<PropertyPage*>(w)) {
      out += w->Describe();
      // A sheet shows its active page's controls beneath it.
      if (auto* sheet = dynamic_cast<PropertySheet*>(w); sheet && sheet->ActivePage() && sheet->ActivePage()->IsVisible())
        out += "  " + sheet->ActivePage()->Describe();
    }
  return out;
}

Window* CurrentModal() {
  Lock l(ModelMutex());
  return ModalStack().empty() ? nullptr : ModalStack().back();
}

Window* RemoteActionWindow() {
  Lock l(ModelMutex());
  if (!ModalStack().empty()) return nullptr;
  Window* newest = nullptr;
  for (auto& [h, w] : OpenTable())
    if (w->IsVisible() && w->TakesRemoteActions() && (!newest || (h & 0xFFFFFu) > (newest->Handle() & 0xFFFFFu)))
      newest = w;
  return newest;
}

// --- Dialog

Dialog::Dialog(DialogTemplate dialogTemplate, WindowHandle parent)
    : Window(dialogTemplate.caption, parent), template_(std::move(dialogTemplate)) {
  SetBounds(Rect{0, 0, template_.width, template_.height});
}

Dialog::~Dialog() { DestroyWindowModel(); }

bool Dialog::Create(WindowHandle parent) {
  if (Exists()) return true;
  if (parent) SetParent(parent);
  CreateWindowModel();
  for (const auto& def : template_.controls) {
    switch (def.kind) {
      case ControlKind::Static: AddControl<Static>(def); break;
      case ControlKind::CheckBox: AddControl<CheckBox>(def); break;
      case ControlKind::ComboBox: AddControl<ComboBox>(def); break;
      case ControlKind::ListView: AddControl<ListView>(def); break;
      case ControlKind::TreeView: AddControl<TreeView>(def); break;
      case ControlKind::Slider: AddControl<Slider>(def); break;
      case ControlKind::Progress: AddControl<Progress>(def); break;
      default: AddControl<Control>(def); break;
    }
  }
  OnInitDialog();
  return true;
}

void Dialog::DestroyWindow() { DestroyWindowModel(); }

int Dialog::DoModal() {
  Create();
  CenterOnScreen();
  int result = Exists() ? RunModalLoop() : -1;
  DestroyWindow();
  return result;
}

void Dialog::EndDialog(int result) { EndModal(result); }

bool Dialog::UpdateData(bool saveAndValidate) {
  DataExchange dx(*this, saveAndValidate);
  try {
    DoDataExchange(dx);
    return true;
  } catch (const DataExchangeFailure&) {
    return false;
  }
}

bool Dialog::OnInitDialog() {
  UpdateData(false);
  return true;
}
void Dialog::OnOK() {
  if (UpdateData(true)) EndDialog(kIdOk);
}
void Dialog::OnCancel() { EndDialog(kIdCancel); }
bool Dialog::OnCommand(int id) {
  if (id == kIdOk) OnOK();
  else if (id == kIdCancel) OnCancel();
  else return false;
  return true;
}

// --- DataExchange

void DataExchange::Fail(int id, const std::string& message) {
  std::string caption = window_.Caption();
  MessageBox(window_.Handle(), message, caption, kMbOk | kMbIconWarning);
  throw DataExchangeFailure{id};
}

void DataExchange::Check(int id, int& value) {
  auto& box = window_.Ctl<CheckBox>(id);
  if (save_) value = box.Check();
  else box.SetCheck(value);
}

void DataExchange::Text(int id, std::string& value) {
  Control* c = window_.FindControl(id);
  if (!c) throw std::logic_error("no control " + std::to_string(id));
  if (save_) value = c->Text();
  else c->SetText(value);
}

void DataExchange::Int(int id, int& value) {
  Control* c = window_.FindControl(id);
  if (!c) throw std::logic_error("no control " + std::to_string(id));
  if (!save_) {
    c->SetText(std::to_string(value));
    return;
  }
  std::string text = c->Text();
  size_t b = text.find_first_not_of(" \t"), e = text.find_last_not_of(" \t");
  std::string_view t = b == std::string::npos ? std::string_view() : std::string_view(text).substr(b, e - b + 1);
  long long v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size() || v < INT32_MIN || v > INT32_MAX)
    Fail(id, "Please enter an integer.");
  value = static_cast<int>(v);
}

void DataExchange::IntRange(int id, int& value, int min, int max) {
  if (!save_) {
    Int(id, value);
    return;
  }
  int v = 0;
  Int(id, v);
  if (v < min || v > max)
    Fail(id, "Please enter an integer between " + std::to_string(min) + " and " + std::to_string(max) + ".");
  value = v;
}

void DataExchange::ComboText(int id, std::string& value) {
  auto& combo = window_.Ctl<ComboBox>(id);
  if (save_) {
    if (combo.CurSel() >= 0) value = combo.ItemText(combo.CurSel());  // an empty list keeps the value
  }
  else combo.SetCurSel(combo.FindStringExact(value));
}

// --- PropertyPage

PropertyPage::PropertyPage(DialogTemplate dialogTemplate) : Dialog(std::move(dialogTemplate)) {
  tabCaption_ = Template().caption;
}

PropertyPage::~PropertyPage() {
  DestroyWindowModel();
  if (sheet_) sheet_->ForgetPage(this);
}

// --- PropertySheet

void PropertySheet::ForgetPage(PropertyPage* page) {
  int index = PageIndex(page);
  if (index < 0) return;
  pages_.erase(pages_.begin() + index);
  if (active_ == index) active_ = -1;
  else if (active_ > index) --active_;
}

PropertySheet::PropertySheet(std::string caption, WindowHandle parent, int selectPage)
    : Window(std::move(caption), parent), start_(selectPage) {
  SetBounds(Rect{0, 0, 260, 200});
}

PropertySheet::~PropertySheet() {
  for (auto* p : pages_) p->sheet_ = nullptr;
  DestroyWindowModel();
}

void PropertySheet::AddPage(PropertyPage* page) {
  page->sheet_ = this;
  pages_.push_back(page);
  if (Exists()) OnPagesChanged();
}

void PropertySheet::RemovePage(int index) {
  if (index < 0 || index >= PageCount()) return;
  PropertyPage* page = pages_[index];
  page->DestroyWindow();
  page->sheet_ = nullptr;
  pages_.erase(pages_.begin() + index);
  if (active_ == index) active_ = -1;
  else if (active_ > index) --active_;
  if (Exists()) {
    if (active_ < 0 && PageCount() > 0) SetActivePage(std::min(index, PageCount() - 1));
    OnPagesChanged();
  }
}

PropertyPage* PropertySheet::Page(int index) const {
  return index >= 0 && index < PageCount() ? pages_[index] : nullptr;
}

int PropertySheet::PageIndex(const PropertyPage* page) const {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

bool PropertySheet::LeaveActivePage() {
  PropertyPage* page = ActivePage();
  if (!page || !page->Exists() || !page->IsVisible()) return true;
  if (!page->OnKillActive()) return false;
  page->Show(false);
  return true;
}

bool PropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= PageCount()) return false;
  if (!Exists()) {
    start_ = index;
    return true;
  }
  if (!LeaveActivePage()) return false;
  PropertyPage* page = pages_[index];
  if (!page->Exists()) page->Create(Handle());
  if (!page->OnSetActive()) return false;
  active_ = index;
  page->Show(true);
  OnActivePageChanged();
  return true;
}

bool PropertySheet::OnInitDialog() {
  if (PageCount() > 0) SetActivePage(std::clamp(start_, 0, PageCount() - 1));
  return true;
}

int PropertySheet::DoModal() {
  CreateWindowModel();
  CenterOnScreen();
  OnInitDialog();
  int result = RunModalLoop();
  for (auto* p : pages_) p->DestroyWindow();
  DestroyWindowModel();
  return result;
}

void PropertySheet::CloseSheet(int result) { EndModal(result); }

bool PropertySheet::OnCommand(int id) {
  if (id == kIdOk) {
    if (PropertyPage* page = ActivePage(); page && page->IsVisible() && !page->OnKillActive()) return true;
    for (auto* p : pages_)
      if (p->Exists() && !p->OnApply()) return true;
    CloseSheet(kIdOk);
    return true;
  }
  if (id == kIdCancel) {
    for (auto* p : pages_)
      if (p->Exists()) p->OnCancel();
    CloseSheet(kIdCancel);
    return true;
  }
  return false;
}

bool PropertySheet::OnKey(int vk, bool ctrl, bool shift) {
  if (vk != kVkTab || !ctrl || PageCount() == 0) return false;
  int n = PageCount();
  SetActivePage(((active_ < 0 ? 0 : active_) + (shift ? n - 1 : 1)) % n);
  return true;
}

Window* PropertySheet::ActionTarget() {
  PropertyPage* page = ActivePage();
  return page && page->IsVisible() ? static_cast<Window*>(page) : this;
}

void PropertySheet::ApplyAction(const UiAction& action) {
  if (action.kind == UiAction::Kind::SelectPage) {
    int index = action.id;
    if (!action.text.empty()) {
      index = -1;
      for (int i = 0; i < PageCount() && index < 0; ++i) {
        std::string cap = pages_[i]->TabCaption();
        size_t sep = cap.rfind("::");
        if (cap == action.text || (sep != std::string::npos && cap.substr(sep + 2) == action.text)) index = i;
      }
    }
    if (index < 0 || index >= PageCount()) throw UiScriptError("sheet \"" + Caption() + "\" has no page \"" + action.text + "\"");
    SetActivePage(index);  // a page that refuses to be left stays, as a person would see
    return;
  }
  Window::ApplyAction(action);
}

}  // namespace hub::platform::ui
