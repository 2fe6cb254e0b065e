// A data object over bytes already taken from their source: the clipboard's
// contents, or what a drag's source wrote for a target in another process.
// It renders every format it holds as a new global block and owns nothing a
// caller must give back.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/shell/shell_interfaces.h"

namespace hub::platform {

struct StoredFormat {
  uint16_t format = 0;
  std::vector<uint8_t> bytes;
};

// One reference for the caller.
IDataObject* CreateStoredDataObject(std::vector<StoredFormat> formats);

// A data object that knows its formats at once but reads a format's bytes only
// when asked (a drop's folder is written just before the drop); `read`
// answers nothing when the bytes are not there.
IDataObject* CreateDeferredDataObject(std::vector<uint16_t> formats,
                                      std::function<std::optional<std::vector<uint8_t>>(uint16_t format)> read);

// An enumerator over a fixed list of formats, starting at `position`.
IEnumFORMATETC* CreateFormatEnumerator(std::vector<FORMATETC> formats, uint32_t position = 0);

// Every format the object offers for reading (DATADIR_GET), in its order.
std::vector<FORMATETC> OfferedFormats(IDataObject* data);
// Whether the object offers the format in a global block (QueryGetData).
bool OffersFormat(IDataObject* data, uint16_t format);
// The bytes of the format as a global block; nothing when it is not given.
std::optional<std::vector<uint8_t>> TakeFormatBytes(IDataObject* data, uint16_t format);

}  // namespace hub::platform
