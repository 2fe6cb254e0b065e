// A small mass-storage family for tests: its model test accepts the volume
// label it is given, its navigation writer counts calls, and its import puts
// one known track into a rebuilt database.
#pragma once

#include <atomic>
#include <functional>
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
  // The threads that showed them, in order.
  std::vector<std::thread::id> ShownOn() {
    std::lock_guard lock(shownMutex_);
    return shownOn_;
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
  // Progress calls made while this thread held the device lock (they pump messages).
  std::atomic<int> progressUnderLock{0};
  // Runs in place of the eject's wait, on the thread that ejects.
  std::function<void()> duringEject;
  bool realEject = true;
  // Message boxes and progress through the headless UI instead of being recorded.
  bool realUi = false;

 protected:
  void ShowMessageBox(const UserMessage& message) override {
    CheckNotLocked(shownUnderLock);
    {
      std::lock_guard lock(shownMutex_);
      shownOn_.push_back(std::this_thread::get_id());
    }
    if (realUi) return KernelDeviceMSCBase::ShowMessageBox(message);
    std::lock_guard lock(shownMutex_);
    shown_.push_back(message.text);
  }
  void ImportExistingFiles() override {
    ++imports;
    auto lock = Lock();
    Database().AddTrack(ShoeboxTrack({.path = GetRootPath() + "Imported\\song.mp3", .title = "Imported"}), true);
  }
  int EjectVolume(const std::string& root) override {
    ++ejects;
    if (duringEject) duringEject();
    return realEject ? KernelDeviceMSCBase::EjectVolume(root) : 0;
  }
  std::unique_ptr<ShoeboxProgressMonitor> MakeProgress(const std::string& text, int range) override {
    if (realUi) return KernelDeviceMSCBase::MakeProgress(text, range);
    struct Quiet : ShoeboxProgressMonitor {
      explicit Quiet(TestFamilyDevice& device) : device_(device) {}
      void SetStatus(const std::string&, int) override { device_.CheckNotLocked(device_.progressUnderLock); }
      void SetPosition(int) override { device_.CheckNotLocked(device_.progressUnderLock); }
      void Step() override { device_.CheckNotLocked(device_.progressUnderLock); }
      void Hide() override { device_.CheckNotLocked(device_.progressUnderLock); }
      TestFamilyDevice& device_;
    };
    return std::make_unique<Quiet>(*this);
  }
  // Counts a call made while this thread holds the device lock.
  void CheckNotLocked(std::atomic<int>& counter) {
    if (Mutex().HeldByThisThread()) ++counter;
  }

 private:
  std::string label_;
  std::mutex shownMutex_;
  std::vector<std::string> shown_;
  std::vector<std::thread::id> shownOn_;
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
    return Adopt(std::make_unique<WithWorkers<TestFamilyDevice>>(this));
  }

 private:
  TrayDeviceUi* tray_ = nullptr;
};

}  // namespace hub::test
