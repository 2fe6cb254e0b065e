// Which request selectors a manager serves. A client writes its device number
// as the selector; the manager holds one device, so it serves the number its
// own product's libraries attach with (the module-name table) as well as 10,
// the number every client of the player families here writes.
#pragma once

#include <cstdint>

namespace hub {

bool ManagerServesSelector(int32_t productNumber, uint32_t selector);

}  // namespace hub
