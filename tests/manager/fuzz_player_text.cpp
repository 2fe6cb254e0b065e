// Fuzz target: text that comes from the player or another process, read as a
// vCard, as an item id under "TEXT", and through the code page.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "manager/msc/player_text.h"
#include "manager/msc/text_items.h"
#include "manager/msc/vcard.h"
#include "common/text.h"
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  static hub::PlayerTextCodec codec("WINDOWS-1252");
  hub::KernelContact contact;
  hub::ReadVCardText(codec.FromPlayer(input), contact);
  hub::ReadVCardText(input, contact);
  // What is read back writes and reads again to the same record.
  hub::KernelContact again;
  hub::ReadVCardText(hub::VCardText(contact), again);
  for (int i = 0; i < hub::kContactFieldCount; ++i) {
    if (again.field[i].Get() != hub::TrimWhitespace(contact.field[i].Get()) &&
        again.field[i].Get() != contact.field[i].Get()) {
      // Values that differ only by the blanks the reader trims are fine; others are not.
      if (std::string(contact.field[i].Get()).find_first_of("\r\n") == std::string::npos) __builtin_trap();
    }
  }
  if (auto parts = hub::TextItemComponents(input, "TEXT")) {
    for (const auto& p : *parts) {
      if (p.empty() || p == "." || p == ".." || p.find('\\') != std::string::npos) __builtin_trap();
    }
  }
  codec.ToPlayer(input);
  return 0;
}
