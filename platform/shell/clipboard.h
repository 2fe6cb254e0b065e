// The user's clipboard: one per user in <runtime>/clipboard/, holding the
// formats and bytes of the last copy, written whole, so every process of the
// user pastes what any of them copied. Format numbers are the shared
// registered numbers (CF_HDROP is 15), the same in every process.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/shell/stored_data_object.h"
#include "platform/status.h"

namespace hub::platform {

// The file that holds the clipboard.
std::string ClipboardPath();

// Replaces the clipboard with the formats given (none: an empty clipboard).
Status WriteClipboard(const std::vector<StoredFormat>& formats);
// What the clipboard holds (empty when nothing was copied); an error when the
// file cannot be read or is damaged.
std::optional<std::vector<StoredFormat>> ReadClipboard(Status* error = nullptr);

// Puts every format the object renders in a global block on the clipboard;
// null empties it.
HRESULT OleSetClipboard(IDataObject* data);
// A data object over what the clipboard holds now (one reference for the caller).
HRESULT OleGetClipboard(IDataObject** out);

// The clipboard file's encoding, for tests and fuzzing: "HUBCLIP1", u32 count,
// then per format u16 number, u16 zero, u32 size and the bytes.
std::vector<uint8_t> EncodeClipboard(const std::vector<StoredFormat>& formats);
std::optional<std::vector<StoredFormat>> DecodeClipboard(const uint8_t* bytes, size_t size);

}  // namespace hub::platform

namespace hub::platform {

// The local paths of a text/uri-list (as desktops copy files): comment lines
// are skipped, only "file:" addresses of this host are taken (percent escapes
// decoded); anything else is refused with its line in `rejected`.
std::vector<std::string> PathsFromUriList(std::string_view text, std::vector<std::string>* rejected = nullptr);

}  // namespace hub::platform
