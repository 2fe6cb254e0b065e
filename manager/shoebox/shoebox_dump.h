// A readable text listing of a database: its load status, header, every track
// with its named fields, raw record bytes and texts, and every playlist.
#pragma once

#include <string>
#include <string_view>

#include "manager/shoebox/shoebox.h"

namespace hub {

// Texts are quoted with \" \\ and \uXXXX escapes (control characters and
// unpaired surrogates), so the listing shows exactly what is stored.
std::string QuoteShoeboxText(std::u16string_view text);

std::string DumpShoebox(const Shoebox& db);

}  // namespace hub
