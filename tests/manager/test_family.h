// A small mass-storage family for tests: its model test accepts the volume
// label it is given, its navigation writer counts calls, and its import puts
// one known track into a rebuilt database.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "manager/msc/kernel_device_msc_base.h"
#include "manager/options/device_dialogs.h"
#include "support/shoebox_records.h"

namespace hub::test {

inline constexpr char kTestLabel[] = "HUBTEST";

class TestFamilyDevice : public KernelDeviceMSCBase {
 public:
  TestFamilyDevice(KernelDriver* driver, std::string label = kTestLabel)
      : KernelDeviceMSCBase(driver, KernelId(1), KernelId(2)), label_(std::move(label)) {
    SetWatchPeriod(std::chrono::milliseconds(20));
  }
  ~TestFamilyDevice() override { StopWorkers(); }

  int DetectModel(const std::string& root) override {
    std::string label;
    return platform::VolumeLabelAndSerial(root, &label, nullptr) && label == label_;
  }
  void WriteNavigationDatabase(ShoeboxProgressMonitor*) override { ++navigationWrites; }
  int DeviceClassOp238() override { return 0; }

  FamilyValues& Values() { return family_; }

  // Message boxes in the order they were shown (from any thread).
  std::vector<std::string> Shown() {
    std::lock_guard lock(shownMutex_);
    return shown_;
  }
  size_t CountShown(const std::string& part) {
    size_t n = 0;
    for (const auto& m : Shown()) n += m.find(part) != std::string::npos;
    return n;
  }

  std::atomic<int> navigationWrites{0};
  std::atomic<int> imports{0};
  std::atomic<int> ejects{0};
  std::atomic<int> shownUnderLock{0};
  bool realEject = true;
  // Message boxes and progress through the headless UI instead of being recorded.
  bool realUi = false;

 protected:
  void ShowMessageBox(const UserMessage& message) override {
    // Another thread can take the device lock exactly when this one does not hold it.
    std::thread([this] {
      if (Mutex().try_lock()) {
        Mutex().unlock();
      } else {
        ++shownUnderLock;
      }
    }).join();
    if (realUi) return KernelDeviceMSCBase::ShowMessageBox(message);
    std::lock_guard lock(shownMutex_);
    shown_.push_back(message.text);
  }
  void ImportExistingFiles() override {
    ++imports;
    Database().AddTrack(ShoeboxTrack({.path = GetRootPath() + "Imported\\song.mp3", .title = "Imported"}), true);
  }
  int EjectVolume(const std::string& root) override {
    ++ejects;
    return realEject ? KernelDeviceMSCBase::EjectVolume(root) : 0;
  }
  std::unique_ptr<ShoeboxProgressMonitor> MakeProgress(const std::string& text, int range) override {
    if (realUi) return KernelDeviceMSCBase::MakeProgress(text, range);
    return MakeQuietProgress();
  }

 private:
  std::string label_;
  std::mutex shownMutex_;
  std::vector<std::string> shown_;
};

// With the manager's dialogs, as the program injects them.
class TestFamilyDriver : public KernelDriverMSCBase {
 public:
  TestFamilyDriver() {
    auto ui = std::make_unique<TrayDeviceUi>();
    tray_ = ui.get();
    SetUi(std::move(ui));
  }
  DlgSystrayProgress* ProgressWindow() const { return tray_->Window(); }

  KernelDevice* CreateDevice(const KernelId&, const KernelId&) override {
    return Adopt(std::make_unique<TestFamilyDevice>(this));
  }

 private:
  TrayDeviceUi* tray_ = nullptr;
};

}  // namespace hub::test
