// Windows of the headless model: top-level windows with controls by id,
// dialogs built from templates declared in code with data exchange and
// validation, and property pages and sheets. What a person would do to them
// comes from the UiDriver; everything else is ordinary program state.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/ui_types.h"

namespace hub::platform::ui {

class Window {
 public:
  explicit Window(std::string caption = {}, WindowHandle parent = 0);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // 0 until the window exists.
  WindowHandle Handle() const { return handle_; }
  bool Exists() const { return handle_ != 0; }
  std::string Caption() const;
  void SetCaption(std::string_view caption);
  WindowHandle Parent() const { return parent_; }
  void SetParent(WindowHandle parent) { parent_ = parent; }
  bool IsVisible() const;
  void Show(bool visible);
  bool IsTopmost() const;
  void SetTopmost(bool topmost);
  Rect Bounds() const;
  void SetBounds(const Rect& bounds);
  void CenterOnScreen();
  virtual const char* KindName() const { return "window"; }
  virtual int TemplateId() const { return 0; }

  // Makes this the model of a window of the window layer: it is listed and
  // found under that handle until it is destroyed.
  void BindToHandle(WindowHandle handle);
  void Unbind() { DestroyWindowModel(); }

  // Controls by id.
  template <class T>
  T& AddControl(const ControlSpec& def) {
    auto control = std::make_unique<T>(*this, def);
    T& ref = *control;
    AdoptControl(std::move(control));
    return ref;
  }
  Control* FindControl(int id) const;
  template <class T>
  T* Get(int id) const {
    return dynamic_cast<T*>(FindControl(id));
  }
  // As Get, but a missing control is a programming error.
  template <class T>
  T& Ctl(int id) const {
    T* c = Get<T>(id);
    if (!c) MissingControl(id);
    return *c;
  }
  std::vector<Control*> Controls() const;

  // Modal run: the driver acts until EndModal is called.
  int RunModalLoop();
  void EndModal(int result);
  bool IsModal() const { return modal_; }
  bool IsEnded() const { return ended_; }
  int ModalResult() const { return result_; }
  virtual int DefaultButton() const { return kIdOk; }
  // Applies one action of a person; throws UiScriptError when it does not fit.
  virtual void ApplyAction(const UiAction& action);

  // Handlers, as the class library's message maps would call them.
  virtual bool OnCommand(int /*id*/) { return false; }
  virtual void OnHScroll(Slider& /*slider*/, int /*code*/) {}
  virtual int64_t OnNotify(Control& /*from*/, int /*code*/, int64_t /*param*/) { return 0; }
  virtual void OnTimer(int /*id*/) {}
  // The window is being destroyed (its controls still exist).
  virtual void OnDestroy() {}
  // A message posted to the window (WM_COMMAND goes on to OnCommand).
  virtual void OnMessage(uint32_t message, uint64_t wParam, int64_t /*lParam*/) {
    if (message == kWmCommand) OnCommand(static_cast<int>(wParam & 0xFFFF));
  }
  // A key press; true when the window used it.
  virtual bool OnKey(int /*vk*/, bool /*ctrl*/, bool /*shift*/) { return false; }
  // Files a person dropped on the window; they arrive only while it accepts them.
  virtual void OnDropFiles(const std::vector<std::string>& /*paths*/) {}
  void DragAcceptFiles(bool accept) { acceptsFiles_ = accept; }
  bool AcceptsFiles() const { return acceptsFiles_; }

  // A modeless window that takes what hubplat sends (press, set) while its
  // thread pumps, as a modal one does while it waits.
  virtual bool TakesRemoteActions() const { return false; }
  // A window that says itself what its progress line shows; `group` changes
  // when a new step begins (a log gets one line per group).
  struct StatusLine {
    std::string text;
    int group = 0;
  };
  virtual std::optional<StatusLine> OwnStatusLine() const { return std::nullopt; }

  void SetTimer(int id, int periodMs);
  void KillTimer(int id);

  // Called by controls when a person would see a change (the terminal redraws).
  void ControlChanged(Control& control);
  // Several lines: kind, handle, caption, then one line per control.
  std::string Describe() const;

 protected:
  void CreateWindowModel();
  void DestroyWindowModel();
  Control* ControlForAction(int id) const;
  virtual Window* ActionTarget() { return this; }
  void AdoptControl(std::unique_ptr<Control> control);
  void RemoveControl(const Control* control);

 private:
  [[noreturn]] void MissingControl(int id) const;

  WindowHandle handle_ = 0;
  WindowHandle parent_ = 0;
  std::string caption_;
  bool visible_ = false;
  bool topmost_ = false;
  std::atomic<bool> acceptsFiles_{false};
  bool modal_ = false;
  bool ended_ = false;
  int result_ = 0;
  Rect bounds_{0, 0, 200, 100};
  std::vector<std::unique_ptr<Control>> controls_;
};

// Open windows of this process (created, not destroyed).
Window* FindModelWindow(WindowHandle handle);
bool IsModelWindow(WindowHandle handle);
// Every open window described, for hubplat's listing.
std::string DescribeOpenWindows();
// The innermost modal window (nullptr when none runs).
Window* CurrentModal();
// The newest visible window that takes remote actions while no modal window runs (nullptr: none).
Window* RemoteActionWindow();

struct DialogTemplate {
  int id = 0;
  std::string caption;
  std::vector<ControlSpec> controls;
  int width = 240;
  int height = 140;
};

class DataExchange;

class Dialog : public Window {
 public:
  explicit Dialog(DialogTemplate dialogTemplate, WindowHandle parent = 0);
  ~Dialog() override;

  const char* KindName() const override { return "dialog"; }
  int TemplateId() const override { return template_.id; }
  const DialogTemplate& Template() const { return template_; }

  // Runs modally: IDOK, IDCANCEL or what EndDialog was given.
  int DoModal();
  // Modeless: builds the controls and runs OnInitDialog; hidden until shown.
  bool Create(WindowHandle parent = 0);
  void DestroyWindow();
  void EndDialog(int result);
  // Control <-> member exchange; false when a value was refused (the refusal was shown).
  bool UpdateData(bool saveAndValidate);

  virtual bool OnInitDialog();
  virtual void DoDataExchange(DataExchange& /*dx*/) {}
  virtual void OnOK();
  virtual void OnCancel();
  bool OnCommand(int id) override;

 private:
  DialogTemplate template_;
};

// Thrown by DataExchange after it showed why a value was refused.
struct DataExchangeFailure {
  int controlId = 0;
};

class DataExchange {
 public:
  DataExchange(Window& window, bool saveAndValidate) : window_(window), save_(saveAndValidate) {}
  bool Saving() const { return save_; }
  void Check(int id, int& value);
  void Text(int id, std::string& value);
  void Int(int id, int& value);
  // Integer with a range; out of range is refused and the dialog stays open.
  void IntRange(int id, int& value, int min, int max);
  // The selected entry of a drop-down list (loading selects the entry equal to the value;
  // with nothing selected, saving keeps the value).
  void ComboText(int id, std::string& value);
  [[noreturn]] void Fail(int id, const std::string& message);

 private:
  Window& window_;
  bool save_;
};

class PropertySheet;

class PropertyPage : public Dialog {
 public:
  explicit PropertyPage(DialogTemplate dialogTemplate);
  ~PropertyPage() override;  // leaves its sheet, whichever of the two goes first
  const char* KindName() const override { return "page"; }
  std::string TabCaption() const { return tabCaption_; }
  void SetTabCaption(std::string caption) { tabCaption_ = std::move(caption); }
  int TabImage() const { return tabImage_; }
  PropertySheet* Sheet() const { return sheet_; }

  virtual bool OnSetActive() { return true; }
  // Leaving the page: false keeps it active.
  virtual bool OnKillActive() { return UpdateData(true); }
  // The sheet's OK reached this page; false keeps the sheet open.
  virtual bool OnApply() {
    OnOK();
    return true;
  }
  void OnOK() override {}
  void OnCancel() override {}

 private:
  friend class PropertySheet;
  PropertySheet* sheet_ = nullptr;
  std::string tabCaption_;
  int tabImage_ = -1;
};

inline constexpr uint32_t kPshNoApplyNow = 0x80;

class PropertySheet : public Window {
 public:
  PropertySheet(std::string caption, WindowHandle parent = 0, int selectPage = 0);
  ~PropertySheet() override;
  const char* KindName() const override { return "sheet"; }

  uint32_t Flags() const { return flags_; }
  void SetFlags(uint32_t flags) { flags_ = flags; }

  void AddPage(PropertyPage* page);
  void RemovePage(int index);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  PropertyPage* Page(int index) const;
  int PageIndex(const PropertyPage* page) const;
  int ActiveIndex() const { return active_; }
  PropertyPage* ActivePage() const { return Page(active_); }
  // Leaves the current page (it may refuse) and shows the new one.
  bool SetActivePage(int index);
  // Leaves the current page and hides it, leaving no page shown; false when it refuses.
  bool LeaveActivePage();

  int DoModal();
  bool OnCommand(int id) override;
  bool OnKey(int vk, bool ctrl, bool shift) override;
  void ApplyAction(const UiAction& action) override;

 protected:
  virtual bool OnInitDialog();
  // The sheet's own messages (page added or removed, selection set): derived sheets follow them.
  virtual void OnPagesChanged() {}
  virtual void OnActivePageChanged() {}
  Window* ActionTarget() override;

 private:
  friend class PropertyPage;
  void CloseSheet(int result);
  void ForgetPage(PropertyPage* page);

  std::vector<PropertyPage*> pages_;
  int start_ = 0;
  int active_ = -1;
  uint32_t flags_ = 0;
};

}  // namespace hub::platform::ui
