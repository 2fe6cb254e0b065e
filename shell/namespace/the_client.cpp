// The accessor of the one device client.
#include "shell/namespace/the_client.h"

#include <atomic>

#include "shell/client/kernel_device_client.h"

namespace hub {
namespace {

std::atomic<KernelDevice*> g_bound{nullptr};

}  // namespace

KernelDevice& TheClient() {
  if (KernelDevice* d = g_bound.load(std::memory_order_acquire)) return *d;
  static KernelDeviceClient unattached;
  return unattached;
}

void BindClient(KernelDevice* device) { g_bound.store(device, std::memory_order_release); }

}  // namespace hub
