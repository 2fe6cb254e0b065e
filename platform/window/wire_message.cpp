// Building and checking endpoint datagrams.
#include "platform/window/wire_message.h"

#include <unistd.h>

#include <cstring>

#include "platform/window/window_directory.h"

namespace hub::platform::windows {

void StampSender(WireMessage& m) {
  m.magic = kWireMagic;
  m.version = kWireVersion;
  m.senderPid = static_cast<uint32_t>(::getpid());
  const std::string& key = ProcessKey();
  std::memset(m.senderKey, 0, sizeof m.senderKey);
  std::memcpy(m.senderKey, key.data(), std::min(key.size(), sizeof m.senderKey - 1));
}

bool IsValidWire(const WireMessage& m) {
  if (m.magic != kWireMagic || m.version != kWireVersion) return false;
  if (m.kind != kWirePost && m.kind != kWireSend && m.kind != kWireReply) return false;
  size_t n = 0;
  while (n < sizeof m.senderKey && m.senderKey[n] != '\0') {
    char c = m.senderKey[n];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-')) return false;
    ++n;
  }
  return n > 0 && n < sizeof m.senderKey;
}

std::string SenderKey(const WireMessage& m) { return std::string(m.senderKey, strnlen(m.senderKey, sizeof m.senderKey)); }

WireMessage MakeReply(const WireMessage& send, bool answered, int64_t result) {
  WireMessage r{};
  r.kind = kWireReply;
  r.window = send.window;
  r.message = send.message;
  r.sendId = send.sendId;
  r.status = answered ? 1 : 0;
  r.result = result;
  StampSender(r);
  return r;
}

}  // namespace hub::platform::windows
