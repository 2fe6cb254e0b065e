// Fuzzes what one process reads of another's: window records and endpoint
// datagrams.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/window/window_directory.h"
#include "platform/window/wire_message.h"

using namespace hub::platform::windows;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  if (auto r = ParseWindowRecord(0x12345678, text)) {
    if (r->ownerKey.empty() || r->ownerKey.find_first_not_of("0123456789abcdef-") != std::string::npos) std::abort();
    if (r->className.find('\n') != std::string::npos) std::abort();
    if (r->title.size() > WindowDirectory::kMaxTitle) std::abort();
  }
  WireMessage m{};
  std::memcpy(&m, data, size < sizeof m ? size : sizeof m);
  if (IsValidWire(m)) {
    std::string key = SenderKey(m);
    if (key.empty() || key.find_first_not_of("0123456789abcdef-") != std::string::npos) std::abort();
  }
  return 0;
}
