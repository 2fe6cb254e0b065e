// The datagram that carries a posted message, a send or a send's answer
// between two processes' endpoints. Only our own processes write it, but it
// is checked like any outside input before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hub::platform::windows {

inline constexpr uint32_t kWireMagic = 0x4D575548;  // "HUWM"
inline constexpr uint16_t kWireVersion = 1;
inline constexpr uint16_t kWirePost = 1;
inline constexpr uint16_t kWireSend = 2;
inline constexpr uint16_t kWireReply = 3;

struct WireMessage {
  uint32_t magic;
  uint16_t version;
  uint16_t kind;
  uint32_t window;
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
  uint64_t sendId;     // send and reply: pairs them
  int64_t result;      // reply: the procedure's answer
  uint32_t status;     // reply: 1 answered, 0 no such window
  uint32_t senderPid;
  char senderKey[48];  // the sender's endpoint key, NUL-terminated
};
static_assert(sizeof(WireMessage) == 104);
static_assert(offsetof(WireMessage, window) == 8);
static_assert(offsetof(WireMessage, wParam) == 16);
static_assert(offsetof(WireMessage, sendId) == 32);
static_assert(offsetof(WireMessage, status) == 48);
static_assert(offsetof(WireMessage, senderKey) == 56);

// Fills magic, version, sender pid and key.
void StampSender(WireMessage& m);
// Right magic, version and kind, and a sender key that names an endpoint
// (digits, lower-case hex and '-', so it cannot leave the endpoints folder).
bool IsValidWire(const WireMessage& m);
std::string SenderKey(const WireMessage& m);
WireMessage MakeReply(const WireMessage& send, bool answered, int64_t result);

}  // namespace hub::platform::windows
