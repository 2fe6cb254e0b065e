// The computer's side of drag and drop in nshost.
#include "transfer_verbs.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "platform/shell/clipboard_format.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "platform/window/window.h"

namespace hub::nshost {
namespace {

using namespace hub::platform;
namespace fs = std::filesystem;

class ComputerFolderTarget final : public ComObject<IDropTarget, IID_IDropTarget> {
 public:
  explicit ComputerFolderTarget(std::string folder) : folder_(std::move(folder)) {}
  HRESULT DragEnter(IDataObject* data, uint32_t, ShellPoint, uint32_t* effect) override {
    accept_ = OffersFormat(data, CF_HDROP);
    if (effect) *effect = accept_ && (*effect & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT DragOver(uint32_t, ShellPoint, uint32_t* effect) override {
    if (effect) *effect = accept_ && (*effect & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT DragLeave() override {
    accept_ = false;
    return S_OK;
  }
  HRESULT Drop(IDataObject* data, uint32_t, ShellPoint, uint32_t* effect) override {
    if (effect) *effect = DROPEFFECT_NONE;
    auto bytes = TakeFormatBytes(data, CF_HDROP);
    auto paths = bytes ? ParseDropFiles(bytes->data(), bytes->size()) : std::nullopt;
    if (!paths) {
      std::printf("drop: the file list cannot be read\n");
      return S_OK;
    }
    size_t copied = 0;
    for (const std::string& p : *paths) {
      fs::path from(p);
      fs::path to = FreeName(fs::path(folder_) / from.filename());
      std::error_code ec;
      fs::copy(from, to, fs::copy_options::recursive, ec);
      if (ec) {
        std::printf("drop: could not copy %s: %s\n", p.c_str(), ec.message().c_str());
        continue;
      }
      std::printf("copied: %s\n", to.string().c_str());
      ++copied;
    }
    if (effect && copied) *effect = DROPEFFECT_COPY;
    return S_OK;
  }

 private:
  ~ComputerFolderTarget() = default;
  static fs::path FreeName(const fs::path& wanted) {
    std::error_code ec;
    if (!fs::exists(wanted, ec)) return wanted;
    for (int n = 2;; ++n) {
      fs::path p = wanted.parent_path() /
                   (wanted.stem().string() + " (" + std::to_string(n) + ")" + wanted.extension().string());
      if (!fs::exists(p, ec)) return p;
    }
  }
  std::string folder_;
  bool accept_ = false;
};

class ReportingTarget final : public ComObject<IDropTarget, IID_IDropTarget> {
 public:
  explicit ReportingTarget(IDropTarget* inner) : inner_(inner) { inner_->AddRef(); }
  HRESULT DragEnter(IDataObject* data, uint32_t keys, ShellPoint point, uint32_t* effect) override {
    HRESULT hr = inner_->DragEnter(data, keys, point, effect);
    std::printf("drag: %s\n", EffectName(effect ? *effect : 0).c_str());
    std::fflush(stdout);
    return hr;
  }
  HRESULT DragOver(uint32_t keys, ShellPoint point, uint32_t* effect) override {
    uint32_t before = last_;
    HRESULT hr = inner_->DragOver(keys, point, effect);
    last_ = effect ? *effect : 0;
    if (last_ != before) std::printf("drag: %s\n", EffectName(last_).c_str());
    return hr;
  }
  HRESULT DragLeave() override {
    std::printf("drag: left\n");
    return inner_->DragLeave();
  }
  HRESULT Drop(IDataObject* data, uint32_t keys, ShellPoint point, uint32_t* effect) override {
    HRESULT hr = inner_->Drop(data, keys, point, effect);
    std::printf("drop: %s\n", EffectName(effect ? *effect : 0).c_str());
    std::fflush(stdout);
    return hr;
  }

 private:
  ~ReportingTarget() { inner_->Release(); }
  IDropTarget* inner_;
  uint32_t last_ = ~0u;
};

}  // namespace

IDropTarget* CreateComputerFolderTarget(const std::string& folder) { return new ComputerFolderTarget(folder); }
IDropTarget* CreateReportingTarget(IDropTarget* inner) { return new ReportingTarget(inner); }

std::string EffectName(uint32_t effect) {
  if (effect & DROPEFFECT_LINK) return "link";
  if (effect & DROPEFFECT_COPY) return "copy";
  if (effect & DROPEFFECT_MOVE) return "move";
  return "none";
}

ShellWindow DropPlaceWindow() {
  static ShellWindow window = [] {
    RegisterWindowClass("NshostDropPlace", [](WindowHandle w, uint32_t m, uint64_t wp, int64_t lp) {
      return DefaultWindowProc(w, m, wp, lp);
    });
    return CreateHiddenWindow("NshostDropPlace", "drop place");
  }();
  return window;
}

std::vector<std::string> AbsolutePaths(const std::vector<std::string>& paths) {
  std::vector<std::string> out;
  for (const auto& p : paths) {
    std::error_code ec;
    fs::path full = fs::absolute(p, ec);
    if (ec || !fs::exists(full, ec)) throw std::runtime_error("no such file: " + p);
    out.push_back(full.lexically_normal().string());
  }
  return out;
}

}  // namespace hub::nshost
