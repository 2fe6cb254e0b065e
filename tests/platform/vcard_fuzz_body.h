// The card reader over arbitrary bytes: every card, every property of it as a
// contact item, every value split and unescaped. Only ContactStoreError may
// come out of a property; nothing else may fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/contacts/contact_store.h"
#include "platform/contacts/vcard_reader.h"

namespace hub::test {

inline size_t FuzzVCardText(const uint8_t* data, size_t size) {
  using namespace hub::platform;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t seen = 0;
  for (const VCardLine& line : ReadVCardLines(text)) {
    seen += SplitVCardValue(line.value).size() + UnescapeVCardText(line.value).size();
  }
  for (VCard& card : ReadVCards(text)) {
    seen += card.IsGroup() ? 1 : 0;
    std::unique_ptr<ContactItem> item = ContactItemFromCard(std::move(card));
    try {
      seen += item->FullName().size();
    } catch (const ContactStoreError&) {
    }
    for (int p = 0; p < kContactPropertyCount; ++p) {
      try {
        seen += item->Property(static_cast<ContactProperty>(p)).size();
      } catch (const ContactStoreError&) {
      }
    }
  }
  return seen;
}

}  // namespace hub::test
