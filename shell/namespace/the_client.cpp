// The accessor of the one device client.
#include "shell/namespace/the_client.h"

#include <atomic>
#include <mutex>

#include "common/shell_routines.h"
#include "platform/ui/ui_types.h"
#include "shell/client/kernel_device_client.h"
#include "shell/client/kernel_device_client_exception.h"

namespace hub {
namespace {

std::atomic<KernelDevice*> g_bound{nullptr};
std::mutex g_attachMutex;
uint32_t g_deviceNumber = 0;
KernelId g_ownId;

}  // namespace

KernelDevice& TheClient() {
  if (KernelDevice* d = g_bound.load(std::memory_order_acquire)) return *d;
  static KernelDeviceClient unattached;
  return unattached;
}

void BindClient(KernelDevice* device) { g_bound.store(device, std::memory_order_release); }

void SetClientAttach(uint32_t deviceNumber, const KernelId& ownId) {
  std::lock_guard lock(g_attachMutex);
  g_deviceNumber = deviceNumber;
  g_ownId = ownId;
}

uint32_t ClientDeviceNumber() {
  std::lock_guard lock(g_attachMutex);
  return g_deviceNumber;
}

KernelId ClientOwnId() {
  std::lock_guard lock(g_attachMutex);
  return g_ownId;
}

void AttachClient(uint32_t deviceNumber, const KernelId& a, const KernelId& b) {
  if (auto* client = dynamic_cast<KernelDeviceClient*>(&TheClient())) client->Attach(deviceNumber, a, b, 0);
  SetClientAttach(deviceNumber, a);
}

void ReconnectClient() {
  if (auto* client = dynamic_cast<KernelDeviceClient*>(&TheClient())) client->Reconnect();
}

void ReportClientException(std::string_view context, const std::exception& failure) {
  ShowMessage(FormatDeviceExceptionText(context, failure), platform::ui::kMbIconInformation);
}

}  // namespace hub
