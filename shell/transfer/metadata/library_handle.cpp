// Run-time library loads.
#include "shell/transfer/metadata/library_handle.h"

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "common/settings.h"

namespace hub::metadata {

LibraryHandle::LibraryHandle(const std::string& path) {
  if (!path.empty()) handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

LibraryHandle::~LibraryHandle() {
  if (handle_) ::dlclose(handle_);
}

LibraryHandle& LibraryHandle::operator=(LibraryHandle&& other) noexcept {
  if (this != &other) {
    if (handle_) ::dlclose(handle_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void* LibraryHandle::Symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

void* KeptLibrary(const std::string& path) {
  if (path.empty()) return nullptr;
  static std::mutex mutex;
  static auto* loaded = new std::map<std::string, void*>;
  std::lock_guard lock(mutex);
  auto it = loaded->find(path);
  if (it != loaded->end()) return it->second;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  // A failed load is tried again next time: the library may be installed meanwhile.
  if (handle) loaded->emplace(path, handle);
  return handle;
}

void* KeptSymbol(void* library, const char* name) { return library ? ::dlsym(library, name) : nullptr; }

std::string SharedLibraryPath(const char* name) {
  std::string path;
  ReadSettingString(name, path, true);
  return path;
}

}  // namespace hub::metadata

namespace hub {

std::string GetSharedProgramFolder() {
  const char* programFiles = std::getenv("HUB_PROGRAM_FILES");
  std::string base = programFiles && *programFiles ? programFiles : "/opt";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Quorral Software/Shared/";
}

}  // namespace hub
