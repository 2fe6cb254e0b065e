// Loads a library the way the shell loads an in-process server: dlopen (all
// symbols bound now, none shared with later loads), then the library's
// exported DllMain with the attach reason. A library whose attach answers
// FALSE is unloaded again and the load fails. Unloading runs the detach
// first. Two loads of one file share one copy, as they would on Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hub::platform {

inline constexpr uint32_t kDllProcessDetach = 0;
inline constexpr uint32_t kDllProcessAttach = 1;

// The entry every loadable module exports under the name "DllMain".
using DllMainFunction = int (*)(void* instance, uint32_t reason, void* reserved);

class LoadedModule {
 public:
  // Nothing on failure, with the reason in *error.
  static std::optional<LoadedModule> Load(const std::string& path, std::string* error = nullptr);

  LoadedModule(LoadedModule&& other) noexcept;
  LoadedModule& operator=(LoadedModule&& other) noexcept;
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  ~LoadedModule();

  // An exported symbol, or null.
  void* Symbol(const char* name) const;
  template <class F>
  F Function(const char* name) const {
    return reinterpret_cast<F>(Symbol(name));
  }
  const std::string& path() const { return path_; }
  // Detaches and unloads now (the destructor does it otherwise).
  void Unload();

 private:
  LoadedModule(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* handle_ = nullptr;
  std::string path_;
};

}  // namespace hub::platform
