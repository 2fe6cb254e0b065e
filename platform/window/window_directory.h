// The directory of the user's windows in the runtime folder: one small record
// per window, named by its handle, and one endpoint per owning process. A
// window whose owner process is gone counts as gone (and is swept away).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hub::platform::windows {

struct WindowRecord {
  uint32_t handle = 0;
  uint32_t parent = 0;
  uint32_t pid = 0;
  uint32_t threadId = 0;
  std::string ownerKey;  // the owner process's endpoint name
  std::string className;
  std::string title;
};

// Reads a record's text; nothing when it is malformed (a record is written
// by another process, so it is checked like outside input).
std::optional<WindowRecord> ParseWindowRecord(uint32_t handle, const std::string& text);

class WindowDirectory {
 public:
  // The directory of the current runtime folder.
  static WindowDirectory& Instance();

  const std::string& endpointsDir() const { return endpointsDir_; }
  std::string SocketPath(std::string_view ownerKey) const;
  std::string LivenessPath(std::string_view ownerKey) const;

  // Publishes a record under a fresh handle (unique across the user's
  // processes); returns the handle, 0 on failure.
  uint32_t Publish(WindowRecord record);
  // Rewrites the record of an existing handle (title changes).
  bool Update(const WindowRecord& record);
  void Remove(uint32_t handle);
  // Whether a record of the handle is present (owner not checked).
  bool Exists(uint32_t handle) const;

  // The record when the window exists and its owner lives.
  std::optional<WindowRecord> Find(uint32_t handle);
  // Every live window; records of dead owners are removed on the way.
  std::vector<WindowRecord> List();

  // True while the process owning the endpoint `ownerKey` lives.
  bool OwnerAlive(const std::string& ownerKey);
  // Forgets an owner found dead, removing its records and endpoint files.
  void SweepOwner(const std::string& ownerKey);

  // Text fields of a record are bounded and single-line (class) so that a
  // record stays readable by every process.
  static constexpr size_t kMaxClassName = 255;
  static constexpr size_t kMaxTitle = 1024;

 private:
  WindowDirectory();
  std::optional<WindowRecord> Read(uint32_t handle);
  std::string RecordPath(uint32_t handle) const;

  std::string windowsDir_;
  std::string endpointsDir_;
};

// This process's endpoint key ("<pid>-<random>"), fixed for the life of the
// process (a forked child gets its own).
const std::string& ProcessKey();
void ResetProcessKeyAfterFork();

}  // namespace hub::platform::windows
