// A named block of memory shared between the user's processes (the system's
// file mappings backed by the paging file), always mapped whole.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/kernel/shared_object.h"

namespace hub::platform {

class SharedMapping {
 public:
  // Opens the mapping of the name when a process holds it, else makes a fresh
  // zero-filled one of `size` bytes. Throws std::system_error on failure.
  static std::unique_ptr<SharedMapping> Create(std::string_view name, size_t size);
  // The existing mapping of the name, or null when there is none.
  static std::unique_ptr<SharedMapping> Open(std::string_view name);

  void* data() const { return object_->data(); }
  size_t size() const { return object_->size(); }
  bool created() const { return object_->created(); }
  // Makes the writes so far visible to every process (and orders them before
  // what follows, e.g. a posted message).
  void Flush();

 private:
  explicit SharedMapping(std::unique_ptr<SharedObject> object) : object_(std::move(object)) {}
  std::unique_ptr<SharedObject> object_;
};

}  // namespace hub::platform
