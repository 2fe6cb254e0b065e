// The "Quorral Explorer Kernel ID List" payload: (n + 1) records of 276 bytes.
// Record 0 holds the count in its first key word; its name field, unused by
// older readers, carries the name of the dragged item (a drop in another
// process names a new playlist from it). Records 1..n are the ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "platform/com/data_transfer.h"

namespace hub {

inline constexpr std::string_view kKernelIdListFormatName = "Quorral Explorer Kernel ID List";
inline constexpr std::string_view kNoTransferToSelfFormatName = "Quorral Explorer No Transfer to Self";
inline constexpr size_t kKernelIdRecordSize = 276;

std::vector<uint8_t> BuildKernelIdList(const std::vector<KernelId>& ids, std::string_view draggedName = {});
// The same in a new global block; null when it cannot be allocated.
platform::HGLOBAL MakeKernelIdListBlock(const std::vector<KernelId>& ids, std::string_view draggedName = {});

struct KernelIdListPayload {
  std::vector<KernelId> ids;  // every name terminated, padding zero
  std::string draggedName;    // empty when the source wrote none
};
// Nothing when the bytes are shorter than one record or than the (n + 1)
// records the count promises: a short or foreign payload is never read past
// its end.
std::optional<KernelIdListPayload> ParseKernelIdList(const uint8_t* bytes, size_t size);

}  // namespace hub
