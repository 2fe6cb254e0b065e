// The drag loop and the registration of drop targets, in this process and,
// through a helper window per registered window, for other processes.
#include "platform/shell/drag_drop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>

#include "platform/fs/whole_file.h"
#include "platform/paths.h"
#include "platform/shell/clipboard.h"
#include "platform/shell/stored_data_object.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"

namespace hub::platform {
namespace {

namespace fs = std::filesystem;

struct Registration {
  IDropTarget* target = nullptr;
  WindowHandle helper = 0;
};

struct DropRegistry {
  std::mutex mutex;
  std::map<WindowHandle, Registration> byWindow;
  // Proxies of drags from other processes, by drag id, while they are over us.
  std::map<uint32_t, IDataObject*> proxies;
};

DropRegistry& Registrations() {
  static DropRegistry* r = new DropRegistry;
  return *r;
}

uint32_t MessageNumber(int which) {
  static const uint32_t numbers[4] = {RegisterWindowMessageName("HubDragEnter"), RegisterWindowMessageName("HubDragOver"),
                                      RegisterWindowMessageName("HubDragLeave"), RegisterWindowMessageName("HubDrop")};
  return numbers[which];
}
enum { kEnter, kOver, kLeave, kDrop };

std::string DragFolder(uint32_t id) {
  char name[16];
  std::snprintf(name, sizeof name, "%08x", id);
  return RuntimeDir() + "/dragdrop/" + name;
}

IDropTarget* TargetOf(WindowHandle window) {
  auto& r = Registrations();
  std::lock_guard lock(r.mutex);
  auto it = r.byWindow.find(window);
  if (it == r.byWindow.end()) return nullptr;
  it->second.target->AddRef();
  return it->second.target;
}

// The data of a drag from another process: the formats written at enter, the
// bytes written just before the drop.
IDataObject* MakeProxy(uint32_t id) {
  std::string folder = DragFolder(id);
  WholeFileRead f = ReadWholeFile(folder + "/formats", 1 << 20);
  if (!f.ok()) return nullptr;
  auto formats = DecodeClipboard(f.bytes.data(), f.bytes.size());
  if (!formats) return nullptr;
  std::vector<uint16_t> numbers;
  for (const auto& x : *formats) numbers.push_back(x.format);
  return CreateDeferredDataObject(numbers, [folder](uint16_t format) -> std::optional<std::vector<uint8_t>> {
    WholeFileRead d = ReadWholeFile(folder + "/data", size_t(256) << 20);
    if (!d.ok()) return std::nullopt;
    auto all = DecodeClipboard(d.bytes.data(), d.bytes.size());
    if (!all) return std::nullopt;
    for (auto& x : *all)
      if (x.format == format) return std::move(x.bytes);
    return std::nullopt;
  });
}

// The helper's procedure: a drag message from another process for its parent's target.
int64_t HelperProc(WindowHandle helper, uint32_t message, uint64_t wParam, int64_t lParam) {
  int which = -1;
  for (int i = kEnter; i <= kDrop; ++i)
    if (message == MessageNumber(i)) which = i;
  if (which < 0) return DefaultWindowProc(helper, message, wParam, lParam);
  auto info = GetWindowInfo(helper);
  if (!info) return -1;
  ComPtr<IDropTarget> target(TargetOf(info->parent));
  if (!target) return -1;
  uint32_t id = static_cast<uint32_t>(wParam);
  uint32_t keys = static_cast<uint32_t>(lParam & 0xFFFFFFFF);
  uint32_t effect = static_cast<uint32_t>(static_cast<uint64_t>(lParam) >> 32);
  auto& r = Registrations();
  ComPtr<IDataObject> proxy;
  {
    std::lock_guard lock(r.mutex);
    auto it = r.proxies.find(id);
    if (it != r.proxies.end()) {
      it->second->AddRef();
      proxy = ComPtr<IDataObject>(it->second);
    }
  }
  if (which == kEnter) {
    proxy = ComPtr<IDataObject>(MakeProxy(id));
    if (!proxy) return -1;
    std::lock_guard lock(r.mutex);
    proxy->AddRef();
    if (auto it = r.proxies.find(id); it != r.proxies.end()) it->second->Release();
    r.proxies[id] = proxy.get();
  }
  auto forget = [&] {
    std::lock_guard lock(r.mutex);
    if (auto it = r.proxies.find(id); it != r.proxies.end()) {
      it->second->Release();
      r.proxies.erase(it);
    }
  };
  HRESULT hr = E_FAIL;
  switch (which) {
    case kEnter: hr = target->DragEnter(proxy.get(), keys, ShellPoint{}, &effect); break;
    case kOver: hr = proxy ? target->DragOver(keys, ShellPoint{}, &effect) : E_FAIL; break;
    case kLeave:
      hr = target->DragLeave();
      forget();
      break;
    case kDrop:
      hr = proxy ? target->Drop(proxy.get(), keys, ShellPoint{}, &effect) : E_FAIL;
      forget();
      break;
  }
  return Succeeded(hr) ? static_cast<int64_t>(effect) : -1;
}

bool EnsureHelperClass() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterWindowClass(kDropTargetHelperClass, HelperProc); });
  return IsWindowClassRegistered(kDropTargetHelperClass);
}

// Where the steps of one drag go: a target of this process, or one of another
// process reached through its helper window.
class DragSession {
 public:
  DragSession(IDataObject* data) : data_(data) {}
  ~DragSession() {
    Leave();
    if (!folder_.empty()) {
      std::error_code ec;
      fs::remove_all(folder_, ec);
    }
  }

  // Moves over `window`; answers the effect the target gives.
  uint32_t Over(WindowHandle window, uint32_t keys, ShellPoint point, uint32_t okEffects) {
    if (window != window_) {
      Leave();
      window_ = window;
      if (window == 0) return DROPEFFECT_NONE;
      local_ = ComPtr<IDropTarget>(TargetOf(window));
      if (!local_) helper_ = FindChildWindowByClass(window, kDropTargetHelperClass);
      uint32_t effect = okEffects;
      if (local_) {
        if (Failed(local_->DragEnter(data_, keys, point, &effect))) effect = DROPEFFECT_NONE;
      } else if (helper_) {
        effect = Remote(kEnter, keys, okEffects, kDragSendTimeoutMs);
      } else {
        effect = DROPEFFECT_NONE;
      }
      return effect & okEffects;
    }
    uint32_t effect = okEffects;
    if (local_) {
      if (Failed(local_->DragOver(keys, point, &effect))) effect = DROPEFFECT_NONE;
    } else if (helper_) {
      effect = Remote(kOver, keys, okEffects, kDragSendTimeoutMs);
    } else {
      effect = DROPEFFECT_NONE;
    }
    return effect & okEffects;
  }

  uint32_t Drop(uint32_t keys, ShellPoint point, uint32_t okEffects) {
    uint32_t effect = okEffects;
    if (local_) {
      if (Failed(local_->Drop(data_, keys, point, &effect))) effect = DROPEFFECT_NONE;
      local_.Reset();
    } else if (helper_) {
      if (!WriteFormats(true)) {
        Leave();
        return DROPEFFECT_NONE;
      }
      effect = Remote(kDrop, keys, okEffects, kDropSendTimeoutMs);
      helper_ = 0;
    } else {
      effect = DROPEFFECT_NONE;
    }
    window_ = 0;
    return effect & okEffects;
  }

  void Leave() {
    if (local_) local_->DragLeave();
    else if (helper_) Remote(kLeave, 0, 0, kDragSendTimeoutMs);
    local_.Reset();
    helper_ = 0;
    window_ = 0;
  }

 private:
  // The format list (at enter) or every rendered format (before the drop).
  bool WriteFormats(bool withBytes) {
    if (folder_.empty()) {
      std::random_device rd;
      for (int tries = 0; tries < 8 && folder_.empty(); ++tries) {
        id_ = rd() | 1;
        std::string f = DragFolder(id_);
        if (!EnsurePrivateDir(RuntimeDir() + "/dragdrop").ok()) return false;
        if (::mkdir(f.c_str(), 0700) == 0) folder_ = f;
        else if (errno != EEXIST) return false;
      }
      if (folder_.empty()) return false;
    }
    std::vector<StoredFormat> formats;
    for (const FORMATETC& f : OfferedFormats(data_)) {
      if (!(f.tymed & TYMED_HGLOBAL)) continue;
      if (!withBytes) {
        formats.push_back(StoredFormat{f.cfFormat, {}});
      } else if (auto bytes = TakeFormatBytes(data_, f.cfFormat)) {
        formats.push_back(StoredFormat{f.cfFormat, std::move(*bytes)});
      }
    }
    auto bytes = EncodeClipboard(formats);
    std::string file = folder_ + (withBytes ? "/data" : "/formats");
    return WriteFileAtomically(file, bytes.data(), bytes.size(), 0600).ok();
  }

  uint32_t Remote(int which, uint32_t keys, uint32_t okEffects, uint32_t timeoutMs) {
    if (which == kEnter && !WriteFormats(false)) return DROPEFFECT_NONE;
    int64_t result = -1;
    int64_t lParam = static_cast<int64_t>(uint64_t(okEffects) << 32 | keys);
    if (!SendWindowMessage(helper_, MessageNumber(which), id_, lParam, timeoutMs, &result) || result < 0)
      return DROPEFFECT_NONE;
    return static_cast<uint32_t>(result);
  }

  IDataObject* data_;
  WindowHandle window_ = 0;
  ComPtr<IDropTarget> local_;
  WindowHandle helper_ = 0;
  uint32_t id_ = 0;
  std::string folder_;
};

class SimpleDropSource final : public ComObject<IDropSource, IID_IDropSource> {
 public:
  HRESULT QueryContinueDrag(bool escape, uint32_t keys) override {
    if (escape) return DRAGDROP_S_CANCEL;
    return keys & MK_LBUTTON ? S_OK : DRAGDROP_S_DROP;
  }
  HRESULT GiveFeedback(uint32_t) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

 private:
  ~SimpleDropSource() = default;
};

}  // namespace

HRESULT RegisterDragDrop(ShellWindow window, IDropTarget* target) {
  if (!target) return E_INVALIDARG;
  auto info = GetWindowInfo(window);
  if (!info || info->ownerPid != static_cast<uint32_t>(::getpid())) return DRAGDROP_E_INVALIDHWND;
  auto& r = Registrations();
  {
    std::lock_guard lock(r.mutex);
    if (r.byWindow.count(window)) return DRAGDROP_E_ALREADYREGISTERED;
    target->AddRef();
    r.byWindow[window] = Registration{target, 0};
  }
  WindowHandle helper = EnsureHelperClass() ? CreateHiddenWindow(kDropTargetHelperClass, "drop target", window) : 0;
  std::lock_guard lock(r.mutex);
  if (auto it = r.byWindow.find(window); it != r.byWindow.end()) it->second.helper = helper;
  return S_OK;
}

HRESULT RevokeDragDrop(ShellWindow window) {
  Registration reg;
  {
    auto& r = Registrations();
    std::lock_guard lock(r.mutex);
    auto it = r.byWindow.find(window);
    if (it == r.byWindow.end()) return DRAGDROP_E_NOTREGISTERED;
    reg = it->second;
    r.byWindow.erase(it);
  }
  if (reg.helper) DestroyWindow(reg.helper);
  reg.target->Release();
  return S_OK;
}

HRESULT DoDragDrop(IDataObject* data, IDropSource* source, uint32_t okEffects, uint32_t* effect) {
  if (effect) *effect = DROPEFFECT_NONE;
  if (!data || !source || !effect) return E_INVALIDARG;
  DragSession session(data);
  uint32_t keys = MK_LBUTTON;
  WindowHandle window = 0;
  ShellPoint point;
  uint32_t shown = DROPEFFECT_NONE;
  for (;;) {
    ui::DragStep step = ui::TheUiDriver().NextDragStep();
    bool escape = step.kind == ui::DragStep::Kind::Escape;
    if (step.kind == ui::DragStep::Kind::Keys) keys = step.keys;
    if (step.kind == ui::DragStep::Kind::Release) keys &= ~(MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
    HRESULT hr = source->QueryContinueDrag(escape, keys);
    if (hr == DRAGDROP_S_CANCEL || Failed(hr)) {
      session.Leave();
      return DRAGDROP_S_CANCEL;
    }
    if (hr == DRAGDROP_S_DROP) {
      if (shown == DROPEFFECT_NONE) {
        session.Leave();
        return DRAGDROP_S_CANCEL;
      }
      *effect = session.Drop(keys, point, okEffects);
      return DRAGDROP_S_DROP;
    }
    if (step.kind == ui::DragStep::Kind::Over) {
      window = step.window;
      point = ShellPoint{step.point.x, step.point.y};
    }
    shown = session.Over(window, keys, point, okEffects);
    source->GiveFeedback(shown);
  }
}

IDropSource* CreateSimpleDropSource() { return new SimpleDropSource; }

}  // namespace hub::platform
