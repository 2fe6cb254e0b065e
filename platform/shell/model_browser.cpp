// The browser of a namespace view, as a model window.
#include "platform/shell/model_browser.h"

#include <cstring>

#include "platform/window/window.h"

namespace hub::platform {

// The Explorer window's model: its toolbar and status bar.
class ModelShellBrowser::Frame : public ui::Window {
 public:
  explicit Frame(ShellWindow window) : ui::Window("Explorer") {
    BindToHandle(window);
    tools_ = &AddControl<ui::Toolbar>(ui::ControlSpec{kToolbarId, ui::ControlKind::Toolbar, "Toolbar"});
    status_ = &AddControl<ui::StatusBar>(ui::ControlSpec{kStatusId, ui::ControlKind::StatusBar, "Status"});
    Show(true);
  }
  ~Frame() override { Unbind(); }
  const char* KindName() const override { return "explorer"; }
  // A press on a view's button goes to the view window, as Explorer routes it.
  void OnMessage(uint32_t message, uint64_t wParam, int64_t lParam) override {
    if (message == ui::kWmCommand && viewWindow_) SendWindowMessage(viewWindow_, kWmCommand, wParam, lParam, 5000);
  }

  ui::Toolbar* tools_ = nullptr;
  ui::StatusBar* status_ = nullptr;
  ShellWindow viewWindow_ = 0;
};

namespace {

// Explorer's own view buttons, checked for the view's mode.
void AddOwnButtons(ui::Toolbar& tools) {
  tools.AddButtons({{0, 2021, ui::kTbstateEnabled, ui::kTbstyleCheck, "Large Icons"},
                    {1, 2022, ui::kTbstateEnabled, ui::kTbstyleCheck, "Small Icons"},
                    {2, 2023, ui::kTbstateEnabled, ui::kTbstyleCheck, "List"},
                    {3, 2024, ui::kTbstateEnabled, ui::kTbstyleCheck, "Details"}});
  // A new toolbar per folder, as Explorer builds it: its own four images first.
  tools.ClearImages();
  tools.AddBitmap(4);
}

}  // namespace

ComPtr<ModelShellBrowser> ModelShellBrowser::Create(ShellWindow window, BrowseHandler browse) {
  return ComPtr<ModelShellBrowser>(new ModelShellBrowser(window, std::move(browse)));
}

ModelShellBrowser::ModelShellBrowser(ShellWindow window, BrowseHandler browse)
    : window_(window), browse_(std::move(browse)), frame_(std::make_unique<Frame>(window)) {
  AddOwnButtons(Tools());
}

ModelShellBrowser::~ModelShellBrowser() = default;

HRESULT ModelShellBrowser::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IShellBrowser) {
    *out = static_cast<IShellBrowser*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
uint32_t ModelShellBrowser::AddRef() { return refs_.Increment(); }
uint32_t ModelShellBrowser::Release() {
  uint32_t n = refs_.Decrement();
  if (n == 0) delete this;
  return n;
}

HRESULT ModelShellBrowser::GetWindow(ShellWindow* out) {
  if (!out) return E_POINTER;
  *out = window_;
  return S_OK;
}
HRESULT ModelShellBrowser::ContextSensitiveHelp(bool) { return E_NOTIMPL; }

HRESULT ModelShellBrowser::InsertMenusSB(ShellMenu shared, void*) {
  auto* menu = reinterpret_cast<ui::Menu*>(shared);
  if (!menu) return E_INVALIDARG;
  auto group = [](const char* text, uint32_t id, ui::Menu items) {
    ui::Menu::Item item;
    item.id = id;
    item.text = text;
    item.submenu = std::make_shared<ui::Menu>(std::move(items));
    return item;
  };
  ui::Menu file, edit, view, help;
  file.AppendItem(0xA001, "&Close");
  view.AppendItem(0xA082, "&Refresh");
  view.InsertItem(-1, ui::Menu::Item{FCIDM_MENU_VIEW_SEP_OPTIONS, {}, ui::kMfSeparator, nullptr});
  view.AppendItem(0xA083, "Folder &Options...");
  help.AppendItem(0xA101, "&About");
  menu->InsertItem(-1, group("&File", FCIDM_MENU_FILE, std::move(file)));
  menu->InsertItem(-1, group("&Edit", FCIDM_MENU_EDIT, std::move(edit)));
  menu->InsertItem(-1, group("&View", FCIDM_MENU_VIEW, std::move(view)));
  menu->InsertItem(-1, group("&Help", FCIDM_MENU_HELP, std::move(help)));
  return S_OK;
}

HRESULT ModelShellBrowser::SetMenuSB(ShellMenu shared, void*, ShellWindow activeObject) {
  installed_ = reinterpret_cast<const ui::Menu*>(shared);
  menuOwner_ = installed_ ? activeObject : 0;
  return S_OK;
}

HRESULT ModelShellBrowser::RemoveMenusSB(ShellMenu shared) {
  auto* menu = reinterpret_cast<ui::Menu*>(shared);
  if (!menu) return E_INVALIDARG;
  // Only the browser's own groups leave; what the view added to them leaves with them.
  for (uint32_t id : {FCIDM_MENU_FILE, FCIDM_MENU_EDIT, FCIDM_MENU_VIEW, FCIDM_MENU_HELP}) {
    for (int i = 0; i < menu->ItemCount(); ++i) {
      const ui::Menu::Item* item = menu->ItemAt(i);
      if (item->submenu && item->id == id) {
        menu->RemoveAt(i);
        break;
      }
    }
  }
  return S_OK;
}

HRESULT ModelShellBrowser::SetStatusTextSB(const char16_t*) { return S_OK; }
HRESULT ModelShellBrowser::EnableModelessSB(bool) { return S_OK; }
HRESULT ModelShellBrowser::TranslateAcceleratorSB(ShellMessage*, uint16_t) { return S_FALSE; }

HRESULT ModelShellBrowser::BrowseObject(LPCITEMIDLIST ids, uint32_t flags) {
  return browse_ ? browse_(ids, flags) : E_FAIL;
}

HRESULT ModelShellBrowser::GetViewStateStream(uint32_t, IUnknown** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT ModelShellBrowser::GetControlWindow(uint32_t id, ShellWindow* out) {
  if (!out) return E_POINTER;
  *out = (id == FCW_STATUS || id == FCW_TOOLBAR) ? window_ : 0;
  return *out ? S_OK : E_FAIL;
}

HRESULT ModelShellBrowser::SendControlMsg(uint32_t id, uint32_t message, uint64_t wParam, int64_t lParam,
                                          int64_t* result) {
  int64_t answer = 0;
  if (id == FCW_STATUS) {
    ui::StatusBar& status = Status();
    if (message == kSbSetParts) {
      const auto* edges = reinterpret_cast<const int32_t*>(lParam);
      if (!edges || wParam == 0 || wParam > 256) return E_INVALIDARG;
      status.SetParts(std::vector<int>(edges, edges + wParam));
      answer = 1;
    } else if (message == kSbSetTextA) {
      const char* text = reinterpret_cast<const char*>(lParam);
      status.SetPartText(static_cast<int>(wParam & 0xFF), text ? text : "");
      answer = 1;
    } else if (message == kWmShowWindow) {
      statusShown_ = wParam != 0;
    } else {
      return E_INVALIDARG;
    }
  } else if (id == FCW_TOOLBAR) {
    ui::Toolbar& tools = Tools();
    if (message == kTbCheckButton) answer = tools.CheckButton(static_cast<int>(wParam), lParam != 0);
    else if (message == kTbIsButtonChecked) answer = tools.IsChecked(static_cast<int>(wParam));
    else if (message == kTbAddBitmap) answer = tools.AddBitmap(static_cast<int>(wParam));
    else if (message == kTbAutoSize) tools.AutoSize();
    else return E_INVALIDARG;
  } else {
    return E_INVALIDARG;
  }
  if (result) *result = answer;
  return S_OK;
}

HRESULT ModelShellBrowser::QueryActiveShellView(IShellView** out) {
  if (!out) return E_POINTER;
  *out = active_;
  if (!active_) return E_FAIL;
  active_->AddRef();
  return S_OK;
}

HRESULT ModelShellBrowser::OnViewWindowActive(IShellView* view) {
  active_ = view;
  ++activations_;
  ShellWindow w = 0;
  if (view && view->GetWindow(&w) == S_OK) frame_->viewWindow_ = w;
  return S_OK;
}

HRESULT ModelShellBrowser::SetToolbarItems(const ShellToolbarButton* buttons, uint32_t count, uint32_t flags) {
  if (!buttons && count) return E_INVALIDARG;
  if (!(flags & FCT_ADDTOEND)) ResetToolbar();
  std::vector<ui::Toolbar::Button> added;
  for (uint32_t i = 0; i < count; ++i) {
    const ShellToolbarButton& b = buttons[i];
    ui::Toolbar::Button button;
    button.image = b.bitmap;
    button.command = b.command;
    button.state = b.state;
    button.style = b.style;
    // Text as an address (the view's own table) or nothing.
    if (b.text > 0xFFFF) button.text = reinterpret_cast<const char*>(b.text);
    added.push_back(std::move(button));
  }
  Tools().AddButtons(added);
  return S_OK;
}

ui::StatusBar& ModelShellBrowser::Status() const { return *frame_->status_; }
ui::Toolbar& ModelShellBrowser::Tools() const { return *frame_->tools_; }

void ModelShellBrowser::ResetToolbar() {
  Tools().DeleteAllButtons();
  AddOwnButtons(Tools());
  frame_->viewWindow_ = 0;
  active_ = nullptr;
}

std::string ModelShellBrowser::ToolTip(ShellWindow viewWindow, int command) const {
  ShellToolTipRequest request;
  request.command = command;
  int64_t answer = 0;
  if (!SendWindowMessage(viewWindow, kWmNotify, 0, reinterpret_cast<intptr_t>(&request), 5000, &answer)) return {};
  return std::string(request.text, strnlen(request.text, sizeof request.text));
}


}  // namespace hub::platform
