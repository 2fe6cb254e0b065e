// The browser side of a namespace view: an Explorer window of the headless
// model with a status bar, a toolbar with Explorer's own view buttons, the
// shared menu with its groups, and navigation handed to the host. Hosts and
// tests give it to a view's CreateViewWindow as Explorer would. One thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/list_view.h"
#include "platform/ui/menu.h"
#include "platform/ui/ui_window.h"

namespace hub::platform {

class ModelShellBrowser final : public IShellBrowser {
 public:
  static constexpr int kToolbarId = 0xA001;
  static constexpr int kStatusId = 0xA002;

  // Navigation requests go to `browse` (the host moves and makes the new view).
  using BrowseHandler = std::function<HRESULT(LPCITEMIDLIST ids, uint32_t flags)>;
  // `window`: the Explorer window of the window layer; the model is bound to it.
  static ComPtr<ModelShellBrowser> Create(ShellWindow window, BrowseHandler browse);

  HRESULT QueryInterface(REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT GetWindow(ShellWindow* out) override;
  HRESULT ContextSensitiveHelp(bool enter) override;
  HRESULT InsertMenusSB(ShellMenu shared, void* widths) override;
  HRESULT SetMenuSB(ShellMenu shared, void* oleMenu, ShellWindow activeObject) override;
  HRESULT RemoveMenusSB(ShellMenu shared) override;
  HRESULT SetStatusTextSB(const char16_t* text) override;
  HRESULT EnableModelessSB(bool enable) override;
  HRESULT TranslateAcceleratorSB(ShellMessage* message, uint16_t id) override;
  HRESULT BrowseObject(LPCITEMIDLIST ids, uint32_t flags) override;
  HRESULT GetViewStateStream(uint32_t mode, IUnknown** out) override;
  HRESULT GetControlWindow(uint32_t id, ShellWindow* out) override;
  HRESULT SendControlMsg(uint32_t id, uint32_t message, uint64_t wParam, int64_t lParam, int64_t* result) override;
  HRESULT QueryActiveShellView(IShellView** out) override;
  HRESULT OnViewWindowActive(IShellView* view) override;
  HRESULT SetToolbarItems(const ShellToolbarButton* buttons, uint32_t count, uint32_t flags) override;

  ui::StatusBar& Status() const;
  ui::Toolbar& Tools() const;
  // The menu a view installed with SetMenuSB (null: none).
  const ui::Menu* InstalledMenu() const { return installed_; }
  ShellWindow MenuOwner() const { return menuOwner_; }
  bool StatusShown() const { return statusShown_; }
  // The view that last said it has the focus.
  IShellView* ActiveView() const { return active_; }
  int ActivationCount() const { return activations_; }
  // Back to Explorer's own toolbar (before the next view adds its buttons).
  void ResetToolbar();
  // Asks the view window for a button's tooltip, as the toolbar does.
  std::string ToolTip(ShellWindow viewWindow, int command) const;

 private:
  ModelShellBrowser(ShellWindow window, BrowseHandler browse);
  ~ModelShellBrowser();

  class Frame;
  RefCount refs_{1};
  ShellWindow window_;
  BrowseHandler browse_;
  std::unique_ptr<Frame> frame_;
  const ui::Menu* installed_ = nullptr;
  ShellWindow menuOwner_ = 0;
  bool statusShown_ = false;
  IShellView* active_ = nullptr;
  int activations_ = 0;
};

}  // namespace hub::platform
