#include "shell/options/tag_dialogs.h"

#include "common/settings.h"
#include "platform/ui/controls.h"

namespace hub {
namespace ui = platform::ui;
namespace {

std::string TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
}

ui::DialogTemplate TagFillTemplate() {
  using K = ui::ControlKind;
  return {CTagFillDlg::kTemplate,
          "Edit Tag",
          {{1000, K::Static, "This file is missing tag fields.  Fill all fields or skip the file."},
           {1001, K::Static, ""},
           {1007, K::Edit, ""},
           {1008, K::Edit, ""},
           {1013, K::Edit, ""},
           {1011, K::Edit, ""},
           {1012, K::Edit, ""},
           {1009, K::Edit, ""},
           {1010, K::Edit, ""},
           {ui::kIdOk, K::Button, "OK"},
           {ui::kIdCancel, K::Button, "Skip"}}};
}

}  // namespace

std::string TagFillText() {
  std::string fill = SettingString("JB_Tx_ITagFillWith", "<Unknown>");
  return fill.empty() ? std::string("<Unknown>") : fill;
}

CTagFillDlg::CTagFillDlg(std::string_view path, _AUDIODATA& record, ui::WindowHandle parent)
    : Dialog(TagFillTemplate(), parent), fileName(path), record_(record) {
  artist = record.artist.str();
  album = record.album.str();
  title = record.title.str();
  genre = record.genre.str();
  comment = record.comment.str();
  trackNumber = static_cast<int>(record.trackNumber);
  year = static_cast<int>(record.year);
}

void CTagFillDlg::DoDataExchange(ui::DataExchange& dx) {
  dx.Text(1001, fileName);
  dx.Text(1008, album);
  dx.Text(1007, artist);
  dx.Text(1012, comment);
  dx.Text(1011, genre);
  dx.Text(1013, title);
  dx.IntRange(1009, trackNumber, 0, 999);
  dx.IntRange(1010, year, 0, 9999);
}

void CTagFillDlg::ApplyToTrack() {
  std::string fill = TagFillText();
  for (std::string* field : {&artist, &album, &genre}) {
    *field = TrimBlanks(*field);
    if (field->empty()) *field = fill;
  }
  record_.trackNumber = static_cast<uint32_t>(trackNumber);
  record_.year = static_cast<uint32_t>(year);
  // The fields keep whole characters within their 256 bytes.
  record_.artist.Set(artist);
  record_.album.Set(album);
  record_.title.Set(title);
  record_.genre.Set(genre);
  record_.comment.Set(comment);
}

CFieldSwapDlg::CFieldSwapDlg(std::string_view title, std::string_view label1, std::string_view label2,
                             ui::WindowHandle parent)
    : Dialog(ui::DialogTemplate{kTemplate,
                                "Swap Tag Fields",
                                {{1121, ui::ControlKind::Static, "Swap this field..."},
                                 {1119, ui::ControlKind::ComboBox, ""},
                                 {1122, ui::ControlKind::Static, "with this field:"},
                                 {1120, ui::ControlKind::ComboBox, ""},
                                 {ui::kIdOk, ui::ControlKind::Button, "OK"},
                                 {ui::kIdCancel, ui::ControlKind::Button, "Cancel"}}},
             parent),
      caption(title), firstLabel(label1), secondLabel(label2) {}

bool CFieldSwapDlg::OnInitDialog() {
  for (int id : {1119, 1120}) {
    auto& combo = Ctl<ui::ComboBox>(id);
    for (const char* name : kSwapFieldNames) combo.AddString(name);
  }
  SetCaption(caption);
  return Dialog::OnInitDialog();
}

void CFieldSwapDlg::DoDataExchange(ui::DataExchange& dx) {
  dx.Text(1121, firstLabel);
  dx.Text(1122, secondLabel);
  auto& one = Ctl<ui::ComboBox>(1119);
  auto& two = Ctl<ui::ComboBox>(1120);
  if (dx.Saving()) {
    if (one.CurSel() >= 0) first = one.CurSel();
    if (two.CurSel() >= 0) second = two.CurSel();
  } else {
    one.SetCurSel(first);
    two.SetCurSel(second);
  }
}

CAutoFillTrackNumDialog::CAutoFillTrackNumDialog(ui::WindowHandle parent)
    : Dialog(ui::DialogTemplate{kTemplate,
                                "Auto-Fill Track Numbers",
                                {{1102, ui::ControlKind::Edit, ""},
                                 {1103, ui::ControlKind::Edit, ""},
                                 {ui::kIdOk, ui::ControlKind::Button, "OK"},
                                 {ui::kIdCancel, ui::ControlKind::Button, "Cancel"}}},
             parent) {}

void CAutoFillTrackNumDialog::DoDataExchange(ui::DataExchange& dx) {
  dx.IntRange(1103, increment, 1, 9999);
  dx.IntRange(1102, start, 0, 9999);
}

}  // namespace hub
