// The lifetime of a named shared-memory object, as the system expects of a
// kernel object: it lives while some process holds it, and the first holder
// after everyone let go starts from a fresh one (stale ones are unlinked).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace hub::platform {

// The POSIX name of a kernel object: "/" + name + "." + uid (and, when
// $HUB_OBJECT_NAMESPACE is set, "." + that, so parallel tests never meet).
// Throws std::invalid_argument for an empty or over-long name or one with '/'.
std::string KernelObjectName(std::string_view name);

// One process's hold on a named shared-memory object, mapped whole.
// Holders are counted with a lock on a file in the runtime folder, which the
// kernel drops when a holder dies, so a crashed process leaves nothing stale.
class SharedObject {
 public:
  // Opens the object held by others, or (when `create`) makes a fresh one of
  // `size` bytes when nobody holds it, calling `init` on the fresh bytes
  // before anyone else can open it. Null when the object does not exist (and
  // `create` is false); throws std::system_error when the system refuses.
  static std::unique_ptr<SharedObject> Acquire(std::string_view name, bool create, size_t size,
                                               const std::function<void(void*)>& init = {});
  ~SharedObject();
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;

  void* data() const { return data_; }
  size_t size() const { return size_; }
  bool created() const { return created_; }  // this hold made the object

 private:
  SharedObject() = default;
  std::string posixName_;
  int lockFd_ = -1;
  void* data_ = nullptr;
  size_t size_ = 0;
  bool created_ = false;
};

}  // namespace hub::platform
