// Report files of long operations: a fresh text file with a fixed name in the
// "reports" temporary folder, its first line the time it was opened, every
// further line one WriteString, flushed at once so a report is complete up to
// its last line. Lines end in CR LF on disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/ui/ui_window.h"

namespace hub {

inline constexpr std::string_view kReportsFolder = "reports";

std::string GetExpansionLogPath();     // "_exlog.txt"
std::string GetExpansionListPath();    // "_explist.txt"
std::string GetTransferLogPath();      // "_txlog.txt"
std::string GetTagWriteBackLogPath();  // "_twblog.txt"
std::string GetSyncLogPath();          // "_synclog.txt"
std::string GetOutlookSyncLogPath();   // "_outlsynclog.txt"

// "%I:%M:%S %p  %Y-%m-%d" of the local time, with "AM"/"PM" whatever the
// locale; empty when the time cannot be converted.
std::string ReportTimeLine(int64_t time);

class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  virtual ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates or truncates the file and writes the time line; false (and the
  // object writes nothing later) when the file cannot be created.
  virtual bool Open();
  bool OpenAt(int64_t now);
  // The text and a line end, flushed; nothing while the file is not open.
  virtual void WriteString(std::string_view text);
  // Ends the file; later writes are dropped.
  void Close();

  const std::string& Path() const { return path_; }
  bool IsOpen() const { return file_ != nullptr; }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

class ExpansionLogFile : public TempFile {
 public:
  ExpansionLogFile() : TempFile(GetExpansionLogPath()) {}
};
class ExpansionListFile : public TempFile {
 public:
  ExpansionListFile() : TempFile(GetExpansionListPath()) {}
};
class TransferLogFile : public TempFile {
 public:
  TransferLogFile() : TempFile(GetTransferLogPath()) {}
};
class TagWriteBackLogFile : public TempFile {
 public:
  TagWriteBackLogFile() : TempFile(GetTagWriteBackLogPath()) {}
};
class OutlookSyncLogFile : public TempFile {
 public:
  OutlookSyncLogFile() : TempFile(GetOutlookSyncLogPath()) {}
};

// The "Transfer Logs" page: a button per report opens it with the desktop's
// viewer, or says "Could not find log file." when it was never written.
class CLogDlg : public platform::ui::PropertyPage {
 public:
  static constexpr int kTemplateId = 548;
  CLogDlg();
  bool OnCommand(int id) override;
  // The report a button opens (empty for other ids).
  static std::string ReportPathOf(int buttonId);
};

}  // namespace hub
