// Contacts as vCard 2.1 text files, the form the player's firmware shows:
// 18 fixed lines written from a `KernelContact`, and a lenient reader that
// takes the properties it knows from any vCard.
#pragma once

#include <string>
#include <string_view>

#include "common/records.h"

namespace hub {

// The card's text, UTF-8 with "\n" line ends. Line ends inside values become
// blanks; ";" and "\" are escaped in the values that are split at ";"
// (name, organisation, addresses). Other values are written as they are.
std::string VCardText(const KernelContact& contact);

// Fills `contact` (emptied first) from a card's text; lines may end in CR LF.
void ReadVCardText(std::string_view text, KernelContact& contact);

}  // namespace hub
