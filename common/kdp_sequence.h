// Request numbers in the KDP block's reserved word. The client writes a fresh
// number and posts it as the message's wParam; the manager serves a message
// only while its number is the block's, and marks the block answered, so a
// late or repeated message never runs a request twice and a late answer never
// satisfies the wait of a newer request.
#pragma once

#include <cstdint>

#include "common/kdp_block.h"

namespace hub {

// Numbers use the low 31 bits and are never 0; the high bit marks an answer.
inline constexpr uint32_t kKdpAnsweredBit = 0x80000000u;

// The number after the one in the block (the caller holds the request locks).
uint32_t NextKdpSequence(const KdpBlock& block);
// Writes a request number into the block.
void WriteKdpSequence(KdpBlock& block, uint32_t sequence);

// Manager side: whether a message with this wParam is the block's pending request.
bool KdpRequestMatches(const KdpBlock& block, uint64_t wParam);
// Manager side: marks the request answered when the block still holds it (a
// client that gave up may already have written a newer request).
void MarkKdpAnswered(KdpBlock& block, uint32_t sequence);

// Client side: whether the manager has answered this request.
bool IsKdpAnswered(const KdpBlock& block, uint32_t sequence);

}  // namespace hub
