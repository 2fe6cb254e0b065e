// libFuzzer entry over the vCard reader (see vcard_fuzz_body.h).
#include "vcard_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hub::test::FuzzVCardText(data, size);
  return 0;
}
