// The live-object count, changed from any thread.
#include "shell/namespace/live_objects.h"

#include <atomic>

namespace hub {
namespace {

std::atomic<int32_t> g_live{0};

}  // namespace

void LiveObjectAdded() { g_live.fetch_add(1, std::memory_order_relaxed); }
void LiveObjectRemoved() { g_live.fetch_sub(1, std::memory_order_acq_rel); }
int32_t LiveObjectCount() { return g_live.load(std::memory_order_acquire); }

}  // namespace hub
