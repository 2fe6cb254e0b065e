// KernelDriver: the per-family driver that creates and owns the device objects
// of its family.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"

namespace hub {

class KernelDevice;

class KernelDriver {
 public:
  explicit KernelDriver(std::string_view text) : text_(text) {}
  KernelDriver(const KernelDriver&) = delete;
  KernelDriver& operator=(const KernelDriver&) = delete;

  // Destroys the devices it created.
  virtual ~KernelDriver();
  virtual std::string GetName() = 0;
  // Called right after the driver is created; both families answer 1.
  virtual int Initialize() = 0;
  virtual std::string GetText() { return text_; }
  // Creates the device for the pair of ids; the driver keeps it (Devices()).
  virtual KernelDevice* CreateDevice(const KernelId& a, const KernelId& b) = 0;
  virtual int IsAvailable() = 0;
  virtual int CheckDevice(const KernelId& id) = 0;

  const std::vector<std::unique_ptr<KernelDevice>>& Devices() const { return devices_; }

 protected:
  // For CreateDevice: takes ownership and returns the device.
  KernelDevice* Adopt(std::unique_ptr<KernelDevice> device);

 private:
  std::string text_;
  std::vector<std::unique_ptr<KernelDevice>> devices_;
};

}  // namespace hub
