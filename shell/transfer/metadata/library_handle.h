// Outside libraries loaded at run time by the path (or soname) a setting names.
// `LibraryHandle` owns one load and frees it; `KeptLibrary` loads a library
// once per process and keeps it, for bindings used on every file read.
#pragma once

#include <string>

namespace hub::metadata {

class LibraryHandle {
 public:
  LibraryHandle() = default;
  explicit LibraryHandle(const std::string& path);
  ~LibraryHandle();
  LibraryHandle(LibraryHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  LibraryHandle& operator=(LibraryHandle&& other) noexcept;
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  void* Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

// The library at `path`, loaded on first use and never freed; null when the
// path is empty or does not load. A changed path loads the new library.
void* KeptLibrary(const std::string& path);
void* KeptSymbol(void* library, const char* name);

// The string value `name` of the shared settings key: the path of an optional
// library ("libFLAC.dll", "iPodAudible.dll", ...); empty when not set.
std::string SharedLibraryPath(const char* name);

}  // namespace hub::metadata

namespace hub {
// The folder where optional encoder libraries are looked for: the program
// files folder ($HUB_PROGRAM_FILES, else /opt) + "/Quorral Software/Shared/".
std::string GetSharedProgramFolder();
using metadata::LibraryHandle;
}  // namespace hub
