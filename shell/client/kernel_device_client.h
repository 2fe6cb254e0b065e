// KernelDeviceClient: a KernelDevice whose every operation is one request to
// the manager through the shared KDP block. One object per process; any
// thread may call it. Requests of all threads and of all client processes are
// serialised (an in-process lock and a file lock a dying client releases).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
#include "common/kernel_device.h"
#include "platform/kernel/critical_section.h"
#include "platform/kernel/file_lock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/window/window.h"
#include "shell/client/kernel_device_client_exception.h"

namespace hub {

inline constexpr uint32_t kKdpRequestMessage = 0x464;  // WM_USER + 100
inline constexpr uint32_t kKdpPreTimeoutMs = 7000;
inline constexpr uint32_t kKdpCompletionTimeoutMs = 60000;
inline constexpr uint32_t kKdpNoTimeout = 0xFFFFFFFF;
// While waiting for an answer the client looks this often whether the manager still lives.
inline constexpr uint32_t kKdpLivenessSliceMs = 100;
inline constexpr size_t kCapabilityCount = 18;

// One argument of a proxied operation, bound to the next field of the
// opcode's row. Inputs are written before the send; outputs are cleared
// before it and copied to the caller after a good reply.
struct KdpArg {
  enum class Kind : uint8_t { Int, Text, IdIn, IdOut, TrackIn, TrackOut, ContactIn, ContactOut, TextFieldOut };
  Kind kind = Kind::Int;
  int value = 0;  // Int
  std::string_view text{};
  const void* in = nullptr;
  void* out = nullptr;
};

inline KdpArg MakeKdpArg(int v) { return {.kind = KdpArg::Kind::Int, .value = v}; }
inline KdpArg MakeKdpArg(WindowId v) { return {.kind = KdpArg::Kind::Int, .value = static_cast<int>(v)}; }
inline KdpArg MakeKdpArg(std::string_view t) { return {.kind = KdpArg::Kind::Text, .text = t}; }
inline KdpArg MakeKdpArg(const KernelId& id) { return {.kind = KdpArg::Kind::IdIn, .in = &id}; }
inline KdpArg MakeKdpArg(KernelId& id) { return {.kind = KdpArg::Kind::IdOut, .out = &id}; }
inline KdpArg MakeKdpArg(const _AUDIODATA& r) { return {.kind = KdpArg::Kind::TrackIn, .in = &r}; }
inline KdpArg MakeKdpArg(_AUDIODATA& r) { return {.kind = KdpArg::Kind::TrackOut, .out = &r}; }
inline KdpArg MakeKdpArg(const KernelContact& c) { return {.kind = KdpArg::Kind::ContactIn, .in = &c}; }
inline KdpArg MakeKdpArg(KernelContact& c) { return {.kind = KdpArg::Kind::ContactOut, .out = &c}; }
inline KdpArg MakeKdpArg(KernelTextField& f) { return {.kind = KdpArg::Kind::TextFieldOut, .out = &f}; }

struct KdpReply {
  int32_t r = 0;
  std::string text;
};

class KernelDeviceClient : public KernelDevice {
 public:
  // Reads Gen_DisableManagerTimeout once; a non-zero value lifts the
  // completion time-out.
  KernelDeviceClient();
  // Unmaps the block: no request can be inside it once the object dies.
  ~KernelDeviceClient() override;

  // Binds to the manager: stores the number and ids, finds the manager's
  // window (the given one, else by class) and maps its block. 1 on success;
  // 0 leaves the client unable to send until a later Attach or Reconnect.
  int Attach(uint32_t deviceNumber, const KernelId& idA, const KernelId& idB, platform::WindowHandle window);
  // Finds a restarted manager again, keeping number, ids and the connected
  // flag. The replaced view is released at once: it is swapped under the
  // request lock, so no request is inside it.
  int Reconnect();
  uint32_t GetDeviceNumber() const { return deviceNumber_; }
  uint32_t CompletionTimeoutMs() const { return completionTimeout_; }
  // Tests shorten the completion wait instead of waiting a minute.
  void SetCompletionTimeoutForTesting(uint32_t ms) { completionTimeout_ = ms; }

  // Driver error of the last failed low-level copy, as the block holds it;
  // read without the request lock, so call them on the thread that made the request.
  uint32_t GetLastErrorCode() const;
  // The manager's window still exists (call on the thread that makes the requests).
  bool ManagerAlive() const { return managerWindow_ != 0 && platform::IsWindowAlive(managerWindow_); }
  std::string GetLastErrorText() const;

  // Shows a caught failure in an information box with a context sentence.
  void ReportDeviceException(std::string_view context, const std::exception& failure) const;

  // Fills the capability cache when it is out of date; failures keep it dirty.
  void RefreshCapabilities();

  // One request by opcode with raw arguments, as the proxies send it: for
  // tools and tests that name operations by opcode. Throws
  // KernelDeviceClientException.
  KdpReply Request(uint32_t opcode, std::span<const KdpArg> args);

  // --- Operations answered without a request (besides the base's locals). ---
  int FirstPlaylistEntry(KernelId& /*playlist*/) override { return 0; }
  int NextPlaylistEntry(KernelId& /*playlist*/) override { return 0; }
  int FirstPlaylistItemEntry(const KernelId& /*playlist*/, KernelId& /*item*/) override { return 0; }
  int NextPlaylistItemEntry(const KernelId& /*playlist*/, KernelId& /*item*/) override { return 0; }

  int HasMemorySegments() override { return Capability(0); }
  int SegmentCapability3060() override { return Capability(1); }
  int SupportsTrackOrder() override { return Capability(2); }
  int SupportsTagSearch() override { return Capability(3); }
  int SupportsQuery() override { return Capability(4); }
  int SupportsFileTransfer() override { return Capability(5); }
  int TransferCapability5120() override { return Capability(6); }
  int SupportsCopyToComputer() override { return Capability(7); }
  int SupportsPlayOnComputer() override { return Capability(8); }
  int SupportsAudio() override { return Capability(9); }
  int SupportsDataFiles() override { return Capability(10); }
  int DataCapability7011() override { return Capability(11); }
  int SupportsPlaylists() override { return Capability(12); }
  int SupportsDevicePlayback() override { return Capability(13); }
  int SupportsFmPresets() override { return Capability(14); }
  int SupportsNotes() override { return Capability(15); }
  int SupportsContacts() override { return Capability(16); }
  int Capability13010() override { return Capability(17); }

  // --- Request proxies: one request each, marshalled by the request table. ---
#define HUB_KDP_PROXY(ret, name, params, op, args) ret name params override;
#define HUB_KDP_PROXY_ZERO HUB_KDP_PROXY
#include "shell/client/kernel_device_client_proxies.inc"
#undef HUB_KDP_PROXY
#undef HUB_KDP_PROXY_ZERO

  // The capability opcodes in the order the refresh asks them.
  static const std::array<uint32_t, kCapabilityCount>& CapabilityOpcodes();

 private:
  int Capability(size_t index);
  // One request; `byTable` applies the row's reply check (the capability
  // refresh checks nothing).
  KdpReply Exchange(uint32_t opcode, std::span<const KdpArg> args, bool byTable);
  template <class Ret, class... A>
  Ret Forward(uint32_t opcode, A&&... args) {
    const std::array<KdpArg, sizeof...(A)> marshalled{MakeKdpArg(args)...};
    KdpReply reply = Request(opcode, marshalled);
    if constexpr (std::is_void_v<Ret>) {
      return;
    } else if constexpr (std::is_same_v<Ret, std::string>) {
      return std::move(reply.text);
    } else {
      return reply.r;
    }
  }
  // One exchange of the filled block with the manager (locks held).
  void Transact(KdpBlock& block);
  // Throws the manager's error; shows its notice.
  void CheckReply(const KdpBlock& block);
  [[noreturn]] void ThrowNotRunning() const;
  [[noreturn]] void ThrowBusy(uint32_t opcode) const;
  void ConnectionCheck() const;
  bool MapBlock();
  void UnmapBlock();
  // The three semaphores, opened once per binding and kept between requests.
  bool OpenSemaphores();

  platform::WindowHandle managerWindow_ = 0;
  int connected_ = 0;
  std::unique_ptr<platform::SharedMapping> view_;
  std::atomic<int> capabilitiesDirty_{1};  // tested without the lock
  mutable platform::CriticalSection requestLock_;
  std::array<uint32_t, kCapabilityCount> capabilities_{};
  uint32_t completionTimeout_ = kKdpCompletionTimeoutMs;

  uint32_t deviceNumber_ = 0;
  KdpBlock privateBlock_;
  KdpBlock* block_ = &privateBlock_;
  // Guards the view against a swap while the error accessors, which take no
  // request lock, read it.
  mutable std::mutex viewMutex_;
  std::unique_ptr<platform::NamedSemaphore> pre_;
  std::unique_ptr<platform::NamedSemaphore> completion_;
  std::unique_ptr<platform::NamedSemaphore> extension_;
  std::unique_ptr<platform::FileLock> processLock_;
};

}  // namespace hub
