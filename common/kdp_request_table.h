// The KDP request table: one row per opcode, naming the KernelDevice operation,
// the block fields it takes in order, the field its result goes to, and how a
// client treats the reply. The manager's dispatcher and the client's proxies
// both read it, so the two sides cannot drift apart.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace hub {

class KernelDevice;
struct KdpBlock;

// Argument fields. Integers (N1-N3, H, Zero) travel as values; every other
// field is passed by address, so the operation reads and writes it in place.
enum class KdpField : uint8_t {
  N1,
  N2,
  N3,
  H,
  Zero,  // the constant 0 (opcode 2010); no field is read
  S1,
  S2,
  S3,
  ID1,
  ID2,
  TR,
  CR,
  LongText,
};

enum class KdpResult : uint8_t {
  None,      // R stays 0, T empty
  R,         // integer result
  T,         // text result, cut at 256 bytes
  LongText,  // text result written into the long-text field (cut at 4,099 bytes)
};

// Which output id a client clears before sending.
enum class KdpClear : uint8_t { None, ID1, ID2 };

// What an operation answered, before it is written into the block.
struct KdpCallResult {
  int32_t r = 0;
  std::string text;
};

using KdpInvoke = void (*)(KernelDevice& device, KdpBlock& block, KdpCallResult& out);

struct KdpRequestRow {
  uint32_t opcode;
  std::string_view operation;  // the KernelDevice operation's name
  std::array<KdpField, 4> argBuffer;
  uint8_t argCount;
  KdpResult result;
  bool checked;     // false: the client returns the answer without checking the error code
  KdpClear clears;  // output id the client clears before the send
  KdpInvoke invoke;  // calls the operation on a device with the block's fields

  std::span<const KdpField> Args() const { return {argBuffer.data(), argCount}; }
};

// All rows, in ascending opcode order.
std::span<const KdpRequestRow> KdpRequestTable();
// The row of an opcode, or nullptr when the opcode is not in the table.
const KdpRequestRow* FindKdpRequest(uint32_t opcode);

inline constexpr size_t kKdpRequestCount = 214;

// Whether the opcode's text arguments must arrive whole: a SQL statement cut
// at its field's bound is a different statement. The client refuses such a
// text that does not fit its field, the manager one that fills it without a
// terminator.
bool KdpTextsMustBeWhole(uint32_t opcode);

// Opcodes named elsewhere in the system.
inline constexpr uint32_t kOpcodeGetVersion = 500;
inline constexpr uint32_t kOpcodeConnect = 2010;
inline constexpr uint32_t kOpcodeDisconnect = 2020;
inline constexpr uint32_t kOpcodeIsConnected = 2030;
inline constexpr uint32_t kOpcodeCapabilityRefresh = 2130;  // not in the table: answers R = 0
inline constexpr uint32_t kOpcodeTryLock = 2140;
inline constexpr uint32_t kOpcodeUnlock = 2150;
inline constexpr uint32_t kOpcodeSaveDatabase = 2300;
inline constexpr uint32_t kOpcodeEject = 2330;
inline constexpr uint32_t kOpcodeSetTrackInfo = 4050;
inline constexpr uint32_t kOpcodeRunQuery = 4330;
inline constexpr uint32_t kOpcodeAddTrackFile = 5040;
inline constexpr uint32_t kOpcodeReadNote = 11210;
inline constexpr uint32_t kOpcodeWriteNote = 11220;

}  // namespace hub
