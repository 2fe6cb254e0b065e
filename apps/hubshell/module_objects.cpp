// The shell library's module objects, in the order they are constructed at
// load (destroyed in reverse at unload), its application object and its
// exported entry points. The library's lower-case file name decides the
// product, the device it attaches and the class id it answers to.
#include <sched.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/explorer_refresh.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/com/com.h"
#include "platform/com/module_loader.h"
#include "platform/kernel/critical_section.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/module_info.h"
#include "platform/ui/ui_types.h"
#include "platform/window/window.h"
#include "shell/client/kernel_device_client.h"
#include "shell/namespace/class_factory.h"
#include "shell/namespace/item_images.h"
#include "shell/namespace/live_objects.h"
#include "shell/namespace/module_names.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/transfer_services.h"
#include "shell/options/tools_install.h"
#include "shell/options/winamp_ml.h"
#include "shell/options/options_services.h"
#include "shell/transfer/engine_services.h"

namespace hub {
namespace {

using namespace hub::platform;

// The application object: counts itself among the live objects, so the
// library never reports that it can be unloaded while it is loaded.
class KestroApp {
 public:
  KestroApp() = default;
  bool InitInstance(void* instance);
  int ExitInstance() {
    BindItemIcons(nullptr);
    // The view class's procedure lives in this library: a later load registers its own.
    UnregisterWindowClass(kNamespaceViewClass);
    return 0;
  }
  void FillInfo(ModuleInfo& info) const;

 private:
  void ApplyAffinity() const;

  LiveObject live_;
  std::optional<AttachArguments> attach_;
  int attached_ = 0;
};

// The one transfer dialog, made when first asked for (the engine installs its
// services during start-up) and dropped at unload.
class TransferDialogHolder {
 public:
  std::shared_ptr<void> Get() {
    std::lock_guard lock(mutex_);
    if (!dialog_) dialog_ = GetTransferServices().CreateTransferDialog();
    return dialog_;
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<void> dialog_;
};

// --- Module objects, in construction order ----------------------------------
std::unordered_map<uint16_t, void*> g_menuCommandMap;                                           // 1
CriticalSection g_treeLock;                                                                      // 2
KestroApp theApp;                                                                                // 3
KernelDeviceClient g_client;                                                                     // 4
ItemIcons g_itemIcons;  // the icon-index cache with the two item image lists                     // 5
std::string g_viewStatusText;                                                                    // 6
TransferDialogHolder g_transferDialog;                                                           // 7
std::vector<KernelId> g_treeIds;                                                                 // 8
std::string g_dropText;                                                                          // 9
std::vector<KernelId> g_secondIds;                                                               // 10
uint16_t g_noTransferToSelfFormat = RegisterClipboardFormatName("Quorral Explorer No Transfer to Self");  // 11
std::string g_productWord = "kestro";                                                            // 12
ProductProfile& g_profile = TheProductProfile();                                                 // 13
std::optional<LoadedModule> g_extraLibrary;                                                      // 14
CriticalSection g_cellTextLock;                                                                  // 15

// Plain module values.
void* g_instance = nullptr;
uint16_t g_kernelIdListFormat = 0;

constexpr const char* kMisnamed = "You have a misnamed DLL file.  Please reinstall.";

bool KestroApp::InitInstance(void* instance) {
  g_instance = instance;
  FillProductProfileFromModule(g_profile, ModuleInstance::FromAddress(reinterpret_cast<const void*>(&g_instance)));
  ApplyAffinity();
  BindItemIcons(&g_itemIcons);

  const ModuleNameRow* row = FindModuleName(g_profile.moduleName);
  if (!row) {
    ShowMessage(kMisnamed, ui::kMbIconInformation);
    return false;
  }
  BindClient(&g_client);
  InstallTransferEngineServices();
  InstallOptionTools();
  InstallOptionsToolServices();
  if (row->load != ModuleLoad::NoDevice) {
    attach_ = ModuleAttachArguments(*row);
    // A manager that is not running yet is no reason to refuse the load:
    // each request then reports it.
    attached_ = g_client.Attach(attach_->device, KernelId(attach_->idA), KernelId(attach_->idB), 0);
    SetClientAttach(attach_->device, KernelId(attach_->idA));
  }
  // Registered for every build, so a copy never offers format 0.
  g_kernelIdListFormat = RegisterClipboardFormatName("Quorral Explorer Kernel ID List");
  return true;
}

// The setting's processors (0 counts as 1) that the process may use; when
// none of them may be used, the affinity stays as it is.
void KestroApp::ApplyAffinity() const {
  uint32_t mask = SettingDword("Vad_SMPAffinity", 1);
  if (mask == 0) mask = 1;
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  cpu_set_t wanted;
  CPU_ZERO(&wanted);
  for (int cpu = 0; cpu < 32; ++cpu)
    if ((mask >> cpu & 1) && CPU_ISSET(cpu, &allowed)) CPU_SET(cpu, &wanted);
  if (CPU_COUNT(&wanted) == 0) return;
  // The whole hosting process: every thread it has now (later ones inherit).
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    pid_t tid = static_cast<pid_t>(std::atoi(task.path().filename().c_str()));
    if (tid > 0) sched_setaffinity(tid, sizeof wanted, &wanted);
  }
}

void CopyText(char* dst, size_t cap, const std::string& text) { std::snprintf(dst, cap, "%s", text.c_str()); }

void KestroApp::FillInfo(ModuleInfo& info) const {
  info = ModuleInfo{};
  info.product = g_profile.productNumber;
  CopyText(info.productName, sizeof info.productName, g_profile.displayName);
  CopyText(info.moduleName, sizeof info.moduleName, g_profile.moduleName);
  if (auto id = ModuleClassId(g_profile.moduleName)) CopyText(info.classId, sizeof info.classId, GuidToString(*id));
  if (attach_) {
    info.attachRequested = 1;
    info.device = attach_->device;
    info.idA = attach_->idA;
    info.idB = attach_->idB;
  }
  info.attached = attached_;
  info.liveObjects = LiveObjectCount();
  info.kernelIdListFormat = g_kernelIdListFormat;
  info.smallImages = static_cast<uint16_t>(g_itemIcons.SmallCount());
  info.largeImages = static_cast<uint16_t>(g_itemIcons.LargeCount());
}

}  // namespace
}  // namespace hub

using hub::platform::HRESULT;

extern "C" __attribute__((visibility("default"))) int DllMain(void* instance, uint32_t reason, void* reserved) {
  try {
    switch (reason) {
      case hub::platform::kDllProcessAttach: return hub::theApp.InitInstance(instance) ? 1 : 0;
      case hub::platform::kDllProcessDetach: hub::theApp.ExitInstance(); return 1;
      case hub::platform::kDllQueryModuleInfo:
        if (!reserved) return 0;
        hub::theApp.FillInfo(*static_cast<hub::platform::ModuleInfo*>(reserved));
        return 1;
      default: return 0;
    }
  } catch (const std::exception&) {
    return 0;
  }
}

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(const hub::platform::CLSID& clsid,
                                                                            const hub::platform::IID& iid, void** out) {
  return hub::GetModuleClassObject(hub::g_profile.moduleName, clsid, iid, out);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return hub::CanUnloadModule(); }

// The installer writes the registration; the library writes nothing of its own.
extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() { return hub::platform::S_OK; }
extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() { return hub::platform::S_OK; }

// The send-to launchers' entry: runs a whole transfer in the calling process.
extern "C" __attribute__((visibility("default"))) void DoHubshell(const char* arguments, const char* name) {
  try {
    hub::GetTransferServices().DoHubshell(arguments ? arguments : "", name ? name : "");
  } catch (const std::exception& e) {
    hub::ShowMessage(e.what(), hub::platform::ui::kMbIconInformation);
  }
}

// The media-library host's entry: the plug-in record, with this module's instance.
extern "C" __attribute__((visibility("default"))) hub::platform::winamp::MlPlugin* winampGetMediaLibraryPlugin() {
  return hub::WinampMediaLibraryPlugin(hub::g_instance);
}
