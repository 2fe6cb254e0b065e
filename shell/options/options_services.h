// The option pages' and tools' entries in the namespace's service table.
#pragma once

#include <vector>

#include "common/records.h"
#include "platform/ui/ui_types.h"

namespace hub {

// Installs every tool this library has. Called once at the library's start-up.
void InstallOptionsToolServices();

// The edit command's tag editor over the selected tracks' records: the
// layout for the product, the values the tracks share (their boxes ticked),
// then the ticked fields written into every record and a chosen picture
// embedded into every track's file. IDOK when the records were edited.
int EditTrackTags(platform::ui::WindowHandle owner, std::vector<_AUDIODATA>& tracks);
// The Transfer Manager's: layout 528; on Save the ticked fields go into every
// row, artist, album, title and genre only when not empty.
int EditTransferRowTags(platform::ui::WindowHandle owner, std::vector<_AUDIODATA>& rows);
// One record in the editor of `layout`, the boxes of field codes 0..6 (artist,
// album, track number, title, year, genre, comment) from and back into `checked`.
int EditTagFieldsOfRecord(platform::ui::WindowHandle owner, int layout, _AUDIODATA& record, uint32_t& checked);
// The layout the edit command uses for this product and device family.
int TagEditorLayout(int product, bool albumArt, std::string_view familyCode);

}  // namespace hub
