// Fuzz entry for reading database files: any bytes load without crashing or
// hanging, what was kept saves and reloads cleanly to the same bytes, and a
// file reported clean is written back unchanged.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "manager/shoebox/shoebox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hub::Shoebox db;
  db.LoadFromMemory(std::span<const uint8_t>(data, size), nullptr, nullptr, u"E:\\");
  std::vector<uint8_t> saved = db.Serialize();
  if (db.LoadedCleanly() && saved != std::vector<uint8_t>(data, data + size)) std::abort();
  hub::Shoebox again;
  again.LoadFromMemory(saved, nullptr, nullptr, u"E:\\");
  if (!again.LoadedCleanly() || again.Serialize() != saved) std::abort();
  return 0;
}
