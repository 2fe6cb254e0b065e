// Pasting the computer's files from the clipboard into the player: the file
// list (CF_HDROP) becomes a staging file for the family's launcher.
#pragma once

#include "platform/shell/item_id_list.h"

namespace hub {

// `folder`: the item-id list of the folder pasted into (its last item names
// the memory segment on players that have them).
void PasteToDevice(platform::LPCITEMIDLIST folder);

}  // namespace hub
