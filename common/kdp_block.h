// The KDP request block: one device request and its answer, as it lies in the
// shared mapping between a client process and the manager. A wire format:
// every offset is pinned below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/records.h"

namespace hub {

inline constexpr size_t kKdpBlockSize = 17352;
inline constexpr size_t kKdpLongTextSize = 4100;
// The selector value a client writes for a request the manager serves.
inline constexpr uint32_t kKdpSelectorRequest = 10;

struct KdpBlock {
  uint32_t selector;
  KernelId idA;
  KernelId idB;
  uint32_t opcode;
  int32_t result;  // R
  KernelTextField text;  // T
  int32_t n1;
  int32_t n2;
  int32_t n3;
  KernelTextField s1;
  KernelTextField s2;
  KernelTextField s3;
  KernelId id1;
  KernelId id2;
  KernelId id3;
  uint32_t reserved;
  int32_t errorCode;
  KernelTextField errorTitle;
  KernelTextField errorText;
  uint32_t noticeFlag;
  KernelTextField noticeText;
  uint32_t driverErrorCode;
  KernelTextField driverErrorText;
  uint32_t extensionTime;
  uint32_t window;  // H
  _AUDIODATA track;  // TR
  uint32_t callerThread;
  char longText[kKdpLongTextSize];
  KernelContact contact;  // CR

  // A zeroed, initialised block (a device's private block).
  KdpBlock();
  KdpBlock(const KdpBlock&) = delete;
  KdpBlock& operator=(const KdpBlock&) = delete;

  // Ids, text fields and records to their empty state; integers untouched.
  void Init();
  // Cuts every text at its bound and restores every capacity word: the block
  // comes from another process and nothing in it is trusted.
  void TerminateTexts();

  std::string_view LongText() const { return ReadBoundedText(longText, kKdpLongTextSize - 1); }
  // At most 4,099 bytes (cut on a character boundary), NUL-padded.
  void SetLongText(std::string_view value);
};

static_assert(sizeof(KdpBlock) == kKdpBlockSize);
static_assert(offsetof(KdpBlock, selector) == 0);
static_assert(offsetof(KdpBlock, idA) == 4);
static_assert(offsetof(KdpBlock, idB) == 280);
static_assert(offsetof(KdpBlock, opcode) == 556);
static_assert(offsetof(KdpBlock, result) == 560);
static_assert(offsetof(KdpBlock, text) == 564);
static_assert(offsetof(KdpBlock, n1) == 828);
static_assert(offsetof(KdpBlock, n2) == 832);
static_assert(offsetof(KdpBlock, n3) == 836);
static_assert(offsetof(KdpBlock, s1) == 840);
static_assert(offsetof(KdpBlock, s2) == 1104);
static_assert(offsetof(KdpBlock, s3) == 1368);
static_assert(offsetof(KdpBlock, id1) == 1632);
static_assert(offsetof(KdpBlock, id2) == 1908);
static_assert(offsetof(KdpBlock, id3) == 2184);
static_assert(offsetof(KdpBlock, reserved) == 2460);
static_assert(offsetof(KdpBlock, errorCode) == 2464);
static_assert(offsetof(KdpBlock, errorTitle) == 2468);
static_assert(offsetof(KdpBlock, errorText) == 2732);
static_assert(offsetof(KdpBlock, noticeFlag) == 2996);
static_assert(offsetof(KdpBlock, noticeText) == 3000);
static_assert(offsetof(KdpBlock, driverErrorCode) == 3264);
static_assert(offsetof(KdpBlock, driverErrorText) == 3268);
static_assert(offsetof(KdpBlock, extensionTime) == 3532);
static_assert(offsetof(KdpBlock, window) == 3536);
static_assert(offsetof(KdpBlock, track) == 3540);
static_assert(offsetof(KdpBlock, callerThread) == 6012);
static_assert(offsetof(KdpBlock, longText) == 6016);
static_assert(offsetof(KdpBlock, contact) == 10116);

// The error code of a request whose operation failed with an exception.
inline constexpr uint32_t kKdpErrorOperationFailed = 0x80004005u;
// The notice flag value SetNotice writes.
inline constexpr uint32_t kKdpNoticeSet = 0xFFFFFFFFu;

}  // namespace hub
