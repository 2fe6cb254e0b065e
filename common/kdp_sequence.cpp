// Request numbers of the KDP block; the word is shared between processes, so
// every access is atomic.
#include "common/kdp_sequence.h"

#include <atomic>

namespace hub {
namespace {

std::atomic_ref<uint32_t> Word(KdpBlock& block) { return std::atomic_ref<uint32_t>(block.reserved); }
uint32_t Load(const KdpBlock& block) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(block.reserved)).load(std::memory_order_acquire);
}

}  // namespace

uint32_t NextKdpSequence(const KdpBlock& block) {
  uint32_t next = ((Load(block) & ~kKdpAnsweredBit) + 1) & ~kKdpAnsweredBit;
  return next == 0 ? 1 : next;
}

void WriteKdpSequence(KdpBlock& block, uint32_t sequence) {
  Word(block).store(sequence & ~kKdpAnsweredBit, std::memory_order_release);
}

bool KdpRequestMatches(const KdpBlock& block, uint64_t wParam) {
  uint32_t current = Load(block);
  return current != 0 && (current & kKdpAnsweredBit) == 0 && wParam == current;
}

void MarkKdpAnswered(KdpBlock& block, uint32_t sequence) {
  uint32_t expected = sequence;
  Word(block).compare_exchange_strong(expected, sequence | kKdpAnsweredBit, std::memory_order_acq_rel);
}

bool IsKdpAnswered(const KdpBlock& block, uint32_t sequence) {
  return Load(block) == (sequence | kKdpAnsweredBit);
}

}  // namespace hub
