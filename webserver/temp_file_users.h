// Counts the requests that use a temporary copy, so that the last one to
// finish deletes it (abandoning a copy still running into it) and no request
// deletes a file another still sends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hub {

class TempFileUse {
 public:
  // `alsoDelete`: further paths removed together with the file.
  explicit TempFileUse(std::string path, std::vector<std::string> alsoDelete = {});
  ~TempFileUse();
  TempFileUse(const TempFileUse&) = delete;
  TempFileUse& operator=(const TempFileUse&) = delete;

  // True for the first of the users that overlap in time.
  bool First() const { return first_; }
  static int UsersOf(const std::string& path);

  // Deletes the oldest files of `folder` that no request uses and no copy
  // writes, until the folder holds at most `capBytes` (files in use count but
  // stay). `keep`: names never deleted (the status log).
  static void TrimFolder(const std::string& folder, uint64_t capBytes, const std::vector<std::string>& keep);

 private:
  std::string path_;
  std::vector<std::string> alsoDelete_;
  bool first_ = false;
};

}  // namespace hub
