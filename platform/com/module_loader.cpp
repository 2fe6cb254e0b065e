// Module loading with the attach and detach calls.
#include "platform/com/module_loader.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

namespace hub::platform {
namespace {

// Loads of each library in this process: DllMain sees one attach and one
// detach however often the file is loaded. Held across DllMain, as the
// loader lock is: an attach must not load modules itself.
std::mutex g_loadsMutex;
std::map<void*, int>& Loads() {
  static std::map<void*, int> loads;
  return loads;
}

}  // namespace

std::optional<LoadedModule> LoadedModule::Load(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) {
      const char* why = dlerror();
      *error = why ? why : "cannot load " + path;
    }
    return std::nullopt;
  }
  std::lock_guard lock(g_loadsMutex);
  if (auto it = Loads().find(handle); it != Loads().end()) {
    ++it->second;  // dlopen counted it too
    return LoadedModule(handle, path);
  }
  auto entry = reinterpret_cast<DllMainFunction>(dlsym(handle, "DllMain"));
  if (!entry) {
    if (error) *error = path + " has no DllMain";
    dlclose(handle);
    return std::nullopt;
  }
  if (!entry(handle, kDllProcessAttach, nullptr)) {
    if (error) *error = path + " refused to load";
    dlclose(handle);
    return std::nullopt;
  }
  Loads()[handle] = 1;
  return LoadedModule(handle, path);
}

LoadedModule::LoadedModule(LoadedModule&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = nullptr;
}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = nullptr;
  }
  return *this;
}

LoadedModule::~LoadedModule() { Unload(); }

void* LoadedModule::Symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

void LoadedModule::Unload() {
  if (!handle_) return;
  std::lock_guard lock(g_loadsMutex);
  auto it = Loads().find(handle_);
  if (it != Loads().end() && --it->second == 0) {
    Loads().erase(it);
    if (auto entry = reinterpret_cast<DllMainFunction>(dlsym(handle_, "DllMain"))) entry(handle_, kDllProcessDetach, nullptr);
  }
  dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace hub::platform
