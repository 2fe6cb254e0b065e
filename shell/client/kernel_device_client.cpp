// The client's connection to the manager and the exchange of one request:
// locks, block preparation, the semaphore handshake with its time-outs, and
// the reply check.
#include "shell/client/kernel_device_client.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <stdexcept>

#include "common/kdp_sequence.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/kernel/clock.h"

namespace hub {
namespace {

using Kind = KdpArg::Kind;

constexpr std::array<uint32_t, kCapabilityCount> kCapabilityOpcodes = {
    3010, 3060, 3110, 4010, 4320, 5010, 5120, 5130, 5140, 6010, 7010, 7011, 8010, 9010, 10010, 11010, 12010, 13010};

constexpr uint32_t kMbIconInformation = 0x40;

std::string TimeoutText(uint32_t seconds) {
  char text[160];
  std::snprintf(text, sizeof text,
                "Your device did not complete an operation within %u seconds.\n"
                "This is not a crash.  Contact Quorral for help with this issue.",
                seconds);
  return text;
}

bool Accepts(KdpField field, Kind kind) {
  switch (field) {
    case KdpField::N1:
    case KdpField::N2:
    case KdpField::N3:
    case KdpField::H:
    case KdpField::Zero:
      return kind == Kind::Int;
    case KdpField::S1:
    case KdpField::S2:
    case KdpField::S3:
      return kind == Kind::Text || kind == Kind::TextFieldOut;
    case KdpField::ID1:
    case KdpField::ID2:
      return kind == Kind::IdIn || kind == Kind::IdOut;
    case KdpField::TR:
      return kind == Kind::TrackIn || kind == Kind::TrackOut;
    case KdpField::CR:
      return kind == Kind::ContactIn || kind == Kind::ContactOut;
    case KdpField::LongText:
      return kind == Kind::Text;
  }
  return false;
}

int32_t* IntField(KdpBlock& b, KdpField f) {
  switch (f) {
    case KdpField::N1: return &b.n1;
    case KdpField::N2: return &b.n2;
    case KdpField::N3: return &b.n3;
    case KdpField::H: return reinterpret_cast<int32_t*>(&b.window);
    default: return nullptr;  // Zero: nothing is sent
  }
}

KernelTextField& TextField(KdpBlock& b, KdpField f) {
  return f == KdpField::S1 ? b.s1 : f == KdpField::S2 ? b.s2 : b.s3;
}

KernelId& IdField(KdpBlock& b, KdpField f) { return f == KdpField::ID1 ? b.id1 : b.id2; }

// Checks the proxy's arguments against the opcode's row before anything is
// sent: a mismatch is a programming error of this library, never sent half-built.
void Validate(const KdpRequestRow* row, uint32_t opcode, std::span<const KdpArg> args) {
  auto fail = [&](const char* why) {
    throw std::logic_error("request " + std::to_string(opcode) + ": " + why);
  };
  if (!row) {
    if (args.size() != 0) fail("opcode outside the table takes no arguments");
    return;
  }
  auto fields = row->Args();
  if (fields.size() != args.size()) fail("argument count differs from the table");
  size_t i = 0;
  for (const KdpArg& arg : args) {
    KdpField f = fields[i++];
    if (!Accepts(f, arg.kind)) fail("argument kind differs from the table");
    bool clearsHere = (row->clears == KdpClear::ID1 && f == KdpField::ID1) ||
                      (row->clears == KdpClear::ID2 && f == KdpField::ID2);
    if (clearsHere && arg.kind != Kind::IdOut) fail("the table clears an input id");
  }
}

}  // namespace

const std::array<uint32_t, kCapabilityCount>& KernelDeviceClient::CapabilityOpcodes() { return kCapabilityOpcodes; }

KernelDeviceClient::KernelDeviceClient() : KernelDevice(nullptr, KernelId(), KernelId()) {
  uint32_t disable = 0;
  ReadSettingDword("Gen_DisableManagerTimeout", disable);
  if (disable != 0) completionTimeout_ = kKdpNoTimeout;
}

KernelDeviceClient::~KernelDeviceClient() { UnmapBlock(); }

void KernelDeviceClient::UnmapBlock() {
  std::lock_guard<std::mutex> viewGuard(viewMutex_);
  block_ = &privateBlock_;
  pre_.reset();
  completion_.reset();
  extension_.reset();
  view_.reset();
}

bool KernelDeviceClient::MapBlock() {
  const ProductProfile& profile = TheProductProfile();
  try {
    auto view = platform::SharedMapping::Open(profile.mappingName);
    if (!view || view->size() < kKdpBlockSize) return false;
    if (!processLock_) {
      processLock_ = std::make_unique<platform::FileLock>(platform::FileLock::Named("KDPREQ" + profile.objectNameCode));
    }
    std::lock_guard<std::mutex> viewGuard(viewMutex_);
    view_ = std::move(view);
    block_ = static_cast<KdpBlock*>(view_->data());
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

int KernelDeviceClient::Attach(uint32_t deviceNumber, const KernelId& idA, const KernelId& idB,
                               platform::WindowHandle window) {
  platform::CriticalSectionGuard guard(requestLock_);
  SetIdentity(idA, idB);
  deviceNumber_ = deviceNumber;
  UnmapBlock();
  managerWindow_ = window;
  if (!platform::IsWindowAlive(managerWindow_))
    managerWindow_ = platform::FindWindowByClass(TheProductProfile().windowClassName);
  if (!platform::IsWindowAlive(managerWindow_)) return 0;
  if (!MapBlock()) return 0;
  connected_ = 1;
  return 1;
}

int KernelDeviceClient::Reconnect() {
  platform::CriticalSectionGuard guard(requestLock_);
  managerWindow_ = platform::FindWindowByClass(TheProductProfile().windowClassName);
  if (!platform::IsWindowAlive(managerWindow_)) return 0;
  UnmapBlock();
  return MapBlock() ? 1 : 0;
}

void KernelDeviceClient::ThrowNotRunning() const {
  throw KernelDeviceClientException(0, std::string(kDeviceConnectionTitle),
                                    TheProductProfile().managerName + " is not running.");
}

void KernelDeviceClient::ThrowBusy(uint32_t opcode) const {
  throw KernelDeviceClientException(opcode, std::string(kDeviceBusyTitle),
                                    TheProductProfile().managerName +
                                        " is busy with a request of another program, which did not finish in time.\n"
                                        "Please try again.");
}

void KernelDeviceClient::ConnectionCheck() const {
  // A client whose binding failed must not send into its private block,
  // which no manager reads.
  if (connected_ != 1 || !view_ || !platform::IsWindowAlive(managerWindow_)) ThrowNotRunning();
}

bool KernelDeviceClient::OpenSemaphores() {
  const ProductProfile& profile = TheProductProfile();
  try {
    if (!pre_) pre_ = platform::NamedSemaphore::Open(profile.preSemaphoreName);
    if (!completion_) completion_ = platform::NamedSemaphore::Open(profile.completionSemaphoreName);
    if (!extension_) extension_ = platform::NamedSemaphore::Open(profile.extensionSemaphoreName);
  } catch (const std::exception&) {
    return false;
  }
  return pre_ && completion_;
}

KdpReply KernelDeviceClient::Request(uint32_t opcode, std::span<const KdpArg> args) {
  return Exchange(opcode, args, /*byTable=*/true);
}

KdpReply KernelDeviceClient::Exchange(uint32_t opcode, std::span<const KdpArg> args, bool byTable) {
  const KdpRequestRow* row = FindKdpRequest(opcode);
  Validate(row, opcode, args);
  for (size_t i = 0; row && i < args.size(); ++i) {
    if (args[i].kind == Kind::Text && row->Args()[i] == KdpField::LongText && args[i].text.size() >= kKdpLongTextSize) {
      // Cutting would lose the end of the user's note without a word.
      throw KernelDeviceClientException(opcode, "Note Too Long",
                                        "The note is longer than 4,099 bytes and was not written.");
    }
    if (args[i].kind == Kind::Text && KdpTextsMustBeWhole(opcode) &&
        (row->Args()[i] == KdpField::S1 || row->Args()[i] == KdpField::S2 || row->Args()[i] == KdpField::S3) &&
        args[i].text.size() >= sizeof(KernelTextField::text)) {
      // Cut, the statement would be another one, and it would run.
      throw KernelDeviceClientException(opcode, "Query Too Long",
                                        "The query is longer than 255 bytes and was not run.");
    }
  }

  // This process's threads, then the other client processes (the file lock
  // dies with its holder, so a crashed client never blocks the rest).
  platform::CriticalSectionGuard guard(requestLock_);
  ConnectionCheck();
  // Another client stopped inside its request must not freeze this one: the
  // wait for the block has the request's own time-out.
  if (completionTimeout_ == kKdpNoTimeout) processLock_->Lock();
  else if (!processLock_->TryLockFor(completionTimeout_)) ThrowBusy(opcode);
  std::lock_guard<platform::FileLock> otherProcesses(*processLock_, std::adopt_lock);
  KdpBlock& b = *block_;

  b.idA = IdA();
  b.idB = IdB();
  b.selector = deviceNumber_;
  // Results start empty, so an answer the manager never wrote (no device, a
  // selector it does not serve) never passes for this request's answer.
  b.result = 0;
  b.text.Set("");
  b.errorCode = 0;
  b.noticeFlag = 0;
  // Cleared before the post, not after "pre": the manager may set it as soon
  // as it has taken the request.
  b.extensionTime = 0;
  if (row && row->result == KdpResult::LongText) b.SetLongText("");

  if (row) {
    auto fields = row->Args();
    size_t i = 0;
    for (const KdpArg& arg : args) {
      KdpField f = fields[i++];
      switch (arg.kind) {
        case Kind::Int:
          if (int32_t* field = IntField(b, f)) *field = arg.value;
          break;
        case Kind::Text:
          if (f == KdpField::LongText) b.SetLongText(arg.text);
          else TextField(b, f).Set(arg.text);
          break;
        case Kind::TextFieldOut: TextField(b, f).Init(); break;
        case Kind::IdIn: IdField(b, f) = *static_cast<const KernelId*>(arg.in); break;
        case Kind::IdOut: IdField(b, f) = KernelId(); break;
        case Kind::TrackIn: b.track = *static_cast<const _AUDIODATA*>(arg.in); break;
        case Kind::TrackOut: b.track.Init(); break;
        case Kind::ContactIn: b.contact = *static_cast<const KernelContact*>(arg.in); break;
        case Kind::ContactOut: b.contact.Init(); break;
      }
    }
  }
  b.opcode = opcode;
  b.callerThread = platform::CurrentThreadId();
  view_->Flush();

  Transact(b);
  if (byTable && row && row->checked) CheckReply(b);

  KdpReply reply;
  reply.r = b.result;
  if (row && row->result == KdpResult::LongText) reply.text = std::string(b.LongText());
  else reply.text = b.text.str();
  if (row) {
    auto fields = row->Args();
    size_t i = 0;
    for (const KdpArg& arg : args) {
      KdpField f = fields[i++];
      switch (arg.kind) {
        case Kind::IdOut: {
          auto& out = *static_cast<KernelId*>(arg.out);
          out = IdField(b, f);
          out.Terminate();
          break;
        }
        case Kind::TrackOut: {
          auto& out = *static_cast<_AUDIODATA*>(arg.out);
          out = b.track;
          out.Terminate();
          break;
        }
        case Kind::ContactOut: {
          auto& out = *static_cast<KernelContact*>(arg.out);
          out = b.contact;
          out.Terminate();
          break;
        }
        case Kind::TextFieldOut: {
          auto& out = *static_cast<KernelTextField*>(arg.out);
          out = TextField(b, f);
          out.Terminate();
          break;
        }
        default: break;
      }
    }
  }
  return reply;
}

void KernelDeviceClient::Transact(KdpBlock& b) {
  const uint32_t opcode = b.opcode;
  if (!OpenSemaphores()) ThrowNotRunning();

  // Counts left by an answer that came after its client gave up belong to no
  // request now; the request number below keeps later ones apart.
  for (auto* sem : {pre_.get(), completion_.get(), extension_.get()}) {
    while (sem && sem->Wait(0) == platform::WaitResult::Signalled) {
    }
  }
  const uint32_t sequence = NextKdpSequence(b);
  WriteKdpSequence(b, sequence);
  view_->Flush();

  if (!platform::PostWindowMessage(managerWindow_, kKdpRequestMessage, sequence, 0)) ThrowNotRunning();

  // Waits on `sem` for up to `timeoutMs` in short slices, and gives up at once
  // when the manager's window is gone (its process died): a dead manager
  // answers nothing, and the lock must not stay held for the whole time-out.
  bool managerGone = false;
  auto waitAlive = [&](platform::NamedSemaphore* sem, uint32_t timeoutMs) {
    const uint64_t start = platform::TickCount64();
    for (;;) {
      uint32_t slice = kKdpLivenessSliceMs;
      if (timeoutMs != kKdpNoTimeout) {
        uint64_t spent = platform::TickCount64() - start;
        if (spent >= timeoutMs) return false;
        slice = static_cast<uint32_t>(std::min<uint64_t>(slice, timeoutMs - spent));
      }
      if (sem->Wait(slice) == platform::WaitResult::Signalled) return true;
      if (!platform::IsWindowAlive(managerWindow_)) {
        managerGone = true;
        return false;
      }
    }
  };

  // A wait that fails is a wait that timed out: the request was not answered.
  if (!waitAlive(pre_.get(), kKdpPreTimeoutMs)) ThrowNotRunning();

  // Waits until the manager has answered this request; a unit released for an
  // older request is taken and the wait goes on for the rest of the time.
  auto waitForAnswer = [&](platform::NamedSemaphore* sem, uint32_t timeoutMs, bool acceptExtension) {
    const uint64_t start = platform::TickCount64();
    for (;;) {
      uint32_t left = timeoutMs;
      if (timeoutMs != kKdpNoTimeout) {
        uint64_t spent = platform::TickCount64() - start;
        if (spent >= timeoutMs) return false;
        left = static_cast<uint32_t>(timeoutMs - spent);
      }
      if (!sem || !waitAlive(sem, left)) return false;
      if (IsKdpAnswered(b, sequence)) return true;
      if (acceptExtension && b.extensionTime != 0) return true;
    }
  };

  if (!waitForAnswer(completion_.get(), completionTimeout_, true)) {
    if (managerGone) ThrowNotRunning();
    throw KernelDeviceClientException(opcode, std::string(kDeviceTimeoutTitle), TimeoutText(60));
  }
  const uint32_t extension = b.extensionTime;
  if (extension != 0 && !waitForAnswer(extension_.get(), extension, false)) {
    if (managerGone) ThrowNotRunning();
    throw KernelDeviceClientException(opcode, std::string(kDeviceTimeoutTitle), TimeoutText(extension / 1000));
  }
}

void KernelDeviceClient::CheckReply(const KdpBlock& b) {
  if (b.errorCode != 0) {
    throw KernelDeviceClientException(static_cast<uint32_t>(b.errorCode), b.errorTitle.str(), b.errorText.str());
  }
  if (b.noticeFlag != 0) {
    ShowMessage(b.noticeText.str(), kMbIconInformation);
  }
}

uint32_t KernelDeviceClient::GetLastErrorCode() const {
  std::lock_guard<std::mutex> viewGuard(viewMutex_);
  return block_->driverErrorCode;
}

std::string KernelDeviceClient::GetLastErrorText() const {
  std::lock_guard<std::mutex> viewGuard(viewMutex_);
  return block_->driverErrorText.str();
}

void KernelDeviceClient::ReportDeviceException(std::string_view context, const std::exception& failure) const {
  ShowMessage(FormatDeviceExceptionText(context, failure), kMbIconInformation);
}

int KernelDeviceClient::Capability(size_t index) {
  RefreshCapabilities();
  return static_cast<int>(capabilities_[index]);
}

void KernelDeviceClient::RefreshCapabilities() {
  if (capabilitiesDirty_.load() == 0) return;
  try {
    for (size_t i = 0; i < kCapabilityCount; ++i) {
      capabilities_[i] = static_cast<uint32_t>(Exchange(kCapabilityOpcodes[i], {}, false).r);
    }
    Exchange(kOpcodeCapabilityRefresh, {}, false);
    capabilitiesDirty_ = 0;
  } catch (const std::exception&) {
    // Not running or timed out: the values so far stay and the next
    // capability question starts the refresh again.
  }
}

// The request proxies.
#define HUB_KDP_ARGS(...) __VA_OPT__(, ) __VA_ARGS__
#define HUB_KDP_PROXY(ret, name, params, op, args) \
  ret KernelDeviceClient::name params { return Forward<ret>(op HUB_KDP_ARGS args); }
#define HUB_KDP_PROXY_ZERO(ret, name, params, op, args) \
  ret KernelDeviceClient::name params {                  \
    Forward<void>(op HUB_KDP_ARGS args);                  \
    return 0;                                             \
  }
#include "shell/client/kernel_device_client_proxies.inc"
#undef HUB_KDP_PROXY
#undef HUB_KDP_PROXY_ZERO
#undef HUB_KDP_ARGS

}  // namespace hub
