// What a device's work shows the user: a progress display while it connects,
// loads or saves, and message boxes. Device logic sees only this; the program
// injects the dialogs (manager/options), tests a recorder or nothing.
#pragma once

#include <memory>
#include <string>

namespace hub {

// Progress of long work: a status line over a bar of 0..range.
class ProgressMonitor {
 public:
  virtual ~ProgressMonitor() = default;
  virtual void SetStatus(const std::string& text, int range) = 0;
  virtual void SetPosition(int position) = 0;
  virtual void Step() = 0;
  virtual void Hide() = 0;
};

// A message box with the information icon.
struct UserMessage {
  std::string text;
  bool topmost = false;
};

class DeviceUi {
 public:
  virtual ~DeviceUi() = default;
  // A progress display showing `text` and a bar of 0..range until it is destroyed.
  virtual std::unique_ptr<ProgressMonitor> MakeProgress(const std::string& text, int range) = 0;
  // Shows one message box; returns when it is closed. Never called under the device's lock.
  virtual void ShowMessage(const UserMessage& message) = 0;
};

// Shows nothing: progress is dropped and messages go to the log.
class QuietDeviceUi : public DeviceUi {
 public:
  std::unique_ptr<ProgressMonitor> MakeProgress(const std::string& text, int range) override;
  void ShowMessage(const UserMessage& message) override;
};

// A monitor that shows nothing.
std::unique_ptr<ProgressMonitor> MakeQuietProgress();

}  // namespace hub
