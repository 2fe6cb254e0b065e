#include "shell/options/options_services.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "platform/fs/volumes.h"
#include "platform/ui/ui_types.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/tool_services.h"
#include "shell/options/album_art.h"
#include "shell/options/artist_info.h"
#include "shell/options/contact_note_dialogs.h"
#include "shell/options/option_pages.h"
#include "shell/options/options_sheet.h"
#include "shell/options/utility_dialog.h"
#include "shell/options/tag_dialogs.h"
#include "shell/options/tag_edit_dialog.h"

namespace hub {
namespace ui = platform::ui;
namespace {

using Field = TagEditDlg::Field;

bool IsMp3(const _AUDIODATA& r) {
  std::string path = r.path.str();
  std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r.fileType == kFileTypeMp3 || ext == ".mp3";
}

// Fills the editor with the first record's values; a field on which the
// records differ starts empty and unticked.
void FillEditor(TagEditDlg& dlg, const std::vector<_AUDIODATA>& rows) {
  const _AUDIODATA& first = rows.front();
  auto same = [&](auto get) {
    return std::all_of(rows.begin(), rows.end(), [&](const _AUDIODATA& r) { return get(r) == get(first); });
  };
  auto text = [&](Field f, std::string& member, auto get) {
    bool agree = same(get);
    dlg.enabled[f] = agree ? 1 : 0;
    member = agree ? std::string(get(first)) : std::string();
  };
  auto number = [&](Field f, int& member, auto get) {
    bool agree = same(get);
    dlg.enabled[f] = agree ? 1 : 0;
    member = agree ? static_cast<int>(get(first)) : 0;
  };
  text(Field::kArtist, dlg.artist, [](const _AUDIODATA& r) { return r.artist.Get(); });
  text(Field::kAlbum, dlg.album, [](const _AUDIODATA& r) { return r.album.Get(); });
  text(Field::kTitle, dlg.title, [](const _AUDIODATA& r) { return r.title.Get(); });
  text(Field::kGenre, dlg.genre, [](const _AUDIODATA& r) { return r.genre.Get(); });
  text(Field::kComment, dlg.comment, [](const _AUDIODATA& r) { return r.comment.Get(); });
  text(Field::kComposer, dlg.composer, [](const _AUDIODATA& r) { return r.composer.Get(); });
  number(Field::kTrack, dlg.trackNumber, [](const _AUDIODATA& r) { return r.trackNumber; });
  number(Field::kYear, dlg.year, [](const _AUDIODATA& r) { return r.year; });
  number(Field::kBpm, dlg.bpm, [](const _AUDIODATA& r) { return r.bpm; });
  number(Field::kRating, dlg.rating, [](const _AUDIODATA& r) { return r.rating; });
  dlg.enabled[Field::kVolume] = 0;
  dlg.playCount = static_cast<int>(first.playCount);
  dlg.allMp3 = std::all_of(rows.begin(), rows.end(), IsMp3);
  dlg.oneAlbum = same([](const _AUDIODATA& r) { return r.album.Get(); });
}

std::string NativePath(const _AUDIODATA& r) {
  std::string path = r.path.str();
  if (auto native = platform::ResolvePlayerPath(path)) return *native;
  return path;
}

std::string FamilyCode() {
  try {
    return TheClient().GetFamilyCode(KernelId());
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

int TagEditorLayout(int product, bool albumArt, std::string_view familyCode) {
  if (product == 4) return albumArt ? TagEditDlg::kArt : TagEditDlg::kFull;
  if (product == 7 || product == 8 || familyCode == "m2") return TagEditDlg::kExtended;
  return TagEditDlg::kBasic;
}

int EditTrackTags(ui::WindowHandle owner, std::vector<_AUDIODATA>& tracks) {
  if (tracks.empty()) return ui::kIdCancel;
  int product = TheProductProfile().productNumber;
  bool art = SettingDword("JB_EnableAlbumArt", 0) != 0;
  int layout = TagEditorLayout(product, art, product == 4 || product == 7 || product == 8 ? "" : FamilyCode());
  TagEditDlg dlg(layout, {}, owner);
  FillEditor(dlg, tracks);
  dlg.artTrackPath = NativePath(tracks.front());
  if (dlg.DoModal() != ui::kIdOk) return ui::kIdCancel;
  for (_AUDIODATA& r : tracks) {
    if (dlg.enabled[Field::kArtist]) r.artist.Set(dlg.artist);
    if (dlg.enabled[Field::kAlbum]) r.album.Set(dlg.album);
    if (dlg.enabled[Field::kTitle]) r.title.Set(dlg.title);
    if (dlg.enabled[Field::kGenre]) r.genre.Set(dlg.genre);
    if (dlg.enabled[Field::kComment]) r.comment.Set(dlg.comment);
    if (dlg.enabled[Field::kTrack]) r.trackNumber = static_cast<uint32_t>(dlg.trackNumber);
    if (dlg.enabled[Field::kYear]) r.year = static_cast<uint32_t>(dlg.year);
    if (layout != TagEditDlg::kBasic) {
      if (dlg.enabled[Field::kComposer]) r.composer.Set(dlg.composer);
      if (dlg.enabled[Field::kBpm]) r.bpm = static_cast<uint16_t>(dlg.bpm);
      if (dlg.enabled[Field::kRating]) r.rating = static_cast<uint8_t>(std::clamp(dlg.rating, 0, 100));
    }
    if (layout == TagEditDlg::kFull || layout == TagEditDlg::kArt) r.playCount = static_cast<uint32_t>(dlg.playCount);
  }
  if (!dlg.chosenImage.empty()) {
    for (const _AUDIODATA& r : tracks) {
      std::string error;
      if (!EmbedAlbumArt(NativePath(r), dlg.chosenImage, &error))
        ShowMessage("Could not embed the album art into " + r.path.str() + ".\n\n" + error, ui::kMbIconInformation);
    }
  }
  return ui::kIdOk;
}

int EditTransferRowTags(ui::WindowHandle owner, std::vector<_AUDIODATA>& rows) {
  if (rows.empty()) return ui::kIdCancel;
  TagEditDlg dlg(TagEditDlg::kBasic, {}, owner);
  FillEditor(dlg, rows);
  if (dlg.DoModal() != ui::kIdOk) return ui::kIdCancel;
  for (_AUDIODATA& r : rows) {
    if (dlg.enabled[Field::kTrack]) r.trackNumber = static_cast<uint32_t>(dlg.trackNumber);
    if (dlg.enabled[Field::kYear]) r.year = static_cast<uint32_t>(dlg.year);
    if (dlg.enabled[Field::kComment]) r.comment.Set(dlg.comment);
    if (dlg.enabled[Field::kArtist] && !dlg.artist.empty()) r.artist.Set(dlg.artist);
    if (dlg.enabled[Field::kAlbum] && !dlg.album.empty()) r.album.Set(dlg.album);
    if (dlg.enabled[Field::kTitle] && !dlg.title.empty()) r.title.Set(dlg.title);
    if (dlg.enabled[Field::kGenre] && !dlg.genre.empty()) r.genre.Set(dlg.genre);
  }
  return ui::kIdOk;
}

int EditTagFieldsOfRecord(ui::WindowHandle owner, int layout, _AUDIODATA& record, uint32_t& checked) {
  // Field codes 0..6 (artist, album, track number, title, year, genre, comment) -> the editor's boxes.
  static constexpr Field kCodes[] = {Field::kArtist, Field::kAlbum, Field::kTrack, Field::kTitle,
                                     Field::kYear,   Field::kGenre, Field::kComment};
  TagEditDlg dlg(layout, {}, owner);
  dlg.artist = record.artist.str();
  dlg.album = record.album.str();
  dlg.title = record.title.str();
  dlg.genre = record.genre.str();
  dlg.comment = record.comment.str();
  dlg.trackNumber = static_cast<int>(record.trackNumber);
  dlg.year = static_cast<int>(record.year);
  for (int code = 0; code < 7; ++code) dlg.enabled[kCodes[code]] = (checked >> code) & 1;
  if (dlg.DoModal() != ui::kIdOk) return ui::kIdCancel;
  record.artist.Set(dlg.artist);
  record.album.Set(dlg.album);
  record.title.Set(dlg.title);
  record.genre.Set(dlg.genre);
  record.comment.Set(dlg.comment);
  record.trackNumber = static_cast<uint32_t>(dlg.trackNumber);
  record.year = static_cast<uint32_t>(dlg.year);
  checked = 0;
  for (int code = 0; code < 7; ++code)
    if (dlg.enabled[kCodes[code]]) checked |= 1u << code;
  return ui::kIdOk;
}

void InstallOptionsToolServices() {
  ToolServices s;
  s.EditTags = [](ShellWindow owner, std::vector<_AUDIODATA>& tracks) { return EditTrackTags(owner, tracks); };
  s.EditNote = [](ShellWindow owner, std::string& text) {
    EditNoteDialog dlg(owner);
    dlg.text = text;
    if (dlg.DoModal() != ui::kIdOk) return ui::kIdCancel;
    text = dlg.text;
    return ui::kIdOk;
  };
  s.EditContact = [](ShellWindow owner, KernelContact& contact) {
    EditContactDialog dlg(contact, owner);
    return dlg.DoModal() == ui::kIdOk ? ui::kIdOk : ui::kIdCancel;
  };
  s.AutoFillTrackNumbers = [](ShellWindow owner, int& start, int& step) {
    CAutoFillTrackNumDialog dlg(owner);
    dlg.start = start;
    dlg.increment = step;
    if (dlg.DoModal() != ui::kIdOk) return ui::kIdCancel;
    start = dlg.start;
    step = dlg.increment;
    return ui::kIdOk;
  };
  s.ShowArtistInfo = [](ShellWindow owner, std::string_view artist) {
    CArtistInfoDlg dlg{std::string(artist), owner};
    dlg.DoModal();
  };
  s.FillIncompleteTag = [](ShellWindow owner, std::string_view path, _AUDIODATA& record, bool ask) {
    CTagFillDlg dlg(path, record, owner);
    if (ask && dlg.DoModal() != ui::kIdOk) return ui::kIdCancel;
    dlg.ApplyToTrack();
    return ui::kIdOk;
  };
  s.ChooseTwoFields = [](ShellWindow owner, std::string_view caption, std::string_view firstLabel,
                         std::string_view secondLabel, int& first, int& second) {
    CFieldSwapDlg dlg(caption, firstLabel, secondLabel, owner);
    dlg.first = first;
    dlg.second = second;
    if (dlg.DoModal() != ui::kIdOk) return ui::kIdCancel;
    first = dlg.first;
    second = dlg.second;
    return ui::kIdOk;
  };
  s.EditTagFields = [](ShellWindow owner, int layout, _AUDIODATA& record, uint32_t& checked) {
    return EditTagFieldsOfRecord(owner, layout, record, checked);
  };
  s.CreateTransfersAdvancedPage = [] { return std::unique_ptr<ui::PropertyPage>(new OptTransfersAdvanced); };
  s.ShowOptions = [](ShellWindow owner) { ShowOptionsSheet(owner); };
  s.ShowPipecastOptions = [](ShellWindow owner) { ShowPipecastSheet(owner); };
  s.ShowUtilityDialog = [](ShellWindow owner, int command) {
    UtilityDlg dlg(command, owner);
    dlg.DoModal();
  };
  InstallToolServices(s);
}

}  // namespace hub
