// What the namespace calls in the option pages and tools, one entry per
// service. shell/options fills the entries at start-up with
// InstallToolServices; an entry nobody installed says in a message box that it
// is not in this build. The name and progress dialogs and the tree-style sheet
// are in common/ui and are used directly.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/ui_window.h"

namespace hub {

using platform::ShellWindow;

struct ToolServices {
  // The option pages in the tree-style sheet captioned "<explorer name>
  // Options"; returns when the sheet has closed.
  std::function<void(ShellWindow owner)> ShowOptions;
  // The streaming-playback page alone, in a sheet without Apply.
  std::function<void(ShellWindow owner)> ShowPipecastOptions;
  // The database utilities dialog for one utility (5010 import, 5020
  // reorganize, 5030 rebuild, 5040 orphans, other: empty playlists).
  std::function<void(ShellWindow owner, int command)> ShowUtilityDialog;
  // The playlist-to-go window.
  std::function<void(ShellWindow owner)> ShowRoamdeckDialog;
  // The SQL generator page for the "Logs and Reports" sheet (null: none).
  std::function<std::unique_ptr<platform::ui::PropertyPage>()> CreateSqlGeneratorPage;
  // The searches; each replaces the search results.
  std::function<void()> SimpleSearch;
  std::function<void()> AdvancedSearch;
  // Contact synchronisation from the default or a chosen Outlook folder.
  std::function<void()> SyncOutlookDefaultFolder;
  std::function<void()> SyncOutlookChosenFolder;
  // The Velomatch analysis, reported in "_synclog.txt".
  std::function<void()> RunVelomatchAnalysis;
  // Renumbering: IDOK with the start number and the step, or IDCANCEL.
  std::function<int(ShellWindow owner, int& start, int& step)> AutoFillTrackNumbers;
  // The albums-by-artist dialog.
  std::function<void(ShellWindow owner, std::string_view artist)> ShowArtistInfo;
  // The tag editor over the selected tracks' records; IDOK when they were edited.
  std::function<int(ShellWindow owner, std::vector<_AUDIODATA>& tracks)> EditTags;
  // The note editor (at most the request block's long text); IDOK when edited.
  std::function<int(ShellWindow owner, std::string& text)> EditNote;
  // The contact editor over one record; IDOK when edited.
  std::function<int(ShellWindow owner, KernelContact& contact)> EditContact;
  // The tag-fill dialog of a file that is missing tag fields, started from the
  // record: with `ask` it runs modally (IDOK or IDCANCEL, nothing written on
  // IDCANCEL); then the fields go into the record, empty artist, album and
  // genre taking the fill text (JB_Tx_ITagFillWith). Answers IDOK when written.
  std::function<int(platform::ui::WindowHandle owner, std::string_view path, _AUDIODATA& record, bool ask)>
      FillIncompleteTag;
  // The tag editor in `layout` over one record with a check box per field
  // (bit n for field code n: artist, album, track number, title, year,
  // genre, comment); IDOK with the record and the checks as left.
  std::function<int(ShellWindow owner, int layout, _AUDIODATA& record, uint32_t& checked)> EditTagFields;
  // The field chooser of the copy and swap commands: IDOK with two field codes.
  std::function<int(ShellWindow owner, std::string_view caption, std::string_view firstLabel,
                    std::string_view secondLabel, int& first, int& second)>
      ChooseTwoFields;
  // The advanced transfer options page for the Transfer Manager (null: none).
  std::function<std::unique_ptr<platform::ui::PropertyPage>()> CreateTransfersAdvancedPage;
};

const ToolServices& GetToolServices();
// Replaces every entry that `services` sets; the others keep what they had.
void InstallToolServices(const ToolServices& services);

// The ids of the last search, in result order: replaced by the searches,
// listed by the "Search" folder.
std::vector<KernelId> SearchResults();
size_t SearchResultCount();
void SetSearchResults(std::vector<KernelId> ids);

}  // namespace hub
