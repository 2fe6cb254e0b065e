#include "shell/options/option_pages.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "common/folders.h"
#include "common/product_profile.h"
#include "common/records.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "common/version.h"
#include "platform/fs/volumes.h"
#include "platform/ui/controls.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/installed_players.h"
#include "shell/namespace/the_client.h"
#include "shell/transfer/transcode_rules.h"

namespace hub {
namespace ui = platform::ui;
using K = ui::ControlKind;
using Bind = SettingDef::Bind;

namespace {

ui::DialogTemplate Page(int id, const char* caption, std::vector<ui::ControlSpec> controls) {
  return {id, caption, std::move(controls), 300, 240};
}

SettingDef DwordSetting(const char* name, uint32_t def, int control = 0, Bind bind = Bind::None) {
  SettingDef s{name, SettingDef::Type::Dword};
  s.dwordDefault = def;
  s.control = control;
  s.bind = control ? bind : Bind::None;
  return s;
}

SettingDef Ranged(SettingDef s, int min, int max, int outside) {
  s.ranged = true;
  s.min = min;
  s.max = max;
  s.outside = outside;
  return s;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void Inform(const std::string& text, uint32_t icon = ui::kMbIconInformation) { ShowMessage(text, icon); }

// Runs a device question; a failure counts as "no".
int Ask(int (KernelDevice::*question)()) {
  try {
    return (TheClient().*question)();
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception&) {
    return 0;
  }
}

// The player the context menu's "Play in " entry names; with the manager out
// of reach, the name used when no player is found.
std::string PlayerName() {
  try {
    return FindInstalledPlayers();
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception&) {
    return "Playback Software";
  }
}

void SetEditText(ui::Window& page, int id, std::string_view text) {
  if (auto* c = page.FindControl(id)) c->SetText(text);
}

const std::vector<SettingDef>& AtmSettings() {
  static const std::vector<SettingDef> s = {
      TextSetting("ATM_DelimiterList", "-", 1116, true), CheckSetting("ATM_UseFolders", 0, 1117),
      TextSetting("ATM_DefaultAlbum", "Single", 1118, true), CheckSetting("ATM_TWB_Enable", 0, 1119),
      CheckSetting("ATM_TWB_UseV1", 0, 1120), CheckSetting("ATM_TWB_UseV2", 0, 1121)};
  return s;
}

template <class T>
std::vector<T> Join(std::vector<T> a, const std::vector<T>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

// --- OptGeneral

std::string OptGeneral::DefaultTempPath() { return DefaultTempFolder(); }

OptGeneral::OptGeneral()
    : OptionPage(Page(550, "General",
                      {{1154, K::CheckBox, "Disable various 'operation complete' confirmation messages."},
                       {1046, K::CheckBox, "Right pane auto-focus.  (For users who navigate by keyboard only.)"},
                       {1095, K::Edit, ""}, {1096, K::Button, "Browse ..."}, {1098, K::Button, "Use Default"},
                       {1097, K::Edit, ""}, {1099, K::Button, "Browse ..."}, {1100, K::Button, "Use Default"},
                       {1193, K::CheckBox, "Enable 'Spreadsheet' view with gridlines and alternating row coloring."},
                       {1194, K::Static, ""}, {6004, K::Button, "Change Color"},
                       {1234, K::CheckBox, "Highlight entire row when item is selected in right pane."},
                       {1233, K::ComboBox, ""}}),
                 {CheckSetting("Gen_DisableCompletionConfirmations", 0, 1154),
                  CheckSetting("Gen_Acc_RightPaneAutoFocus", 0, 1046),
                  TextSetting("Gen_TempPath", "", 1095),
                  TextSetting("Gen_ExtBrowserPath", kDefaultBrowser, 1097),
                  CheckSetting("Gen_EnableSpreadsheetView", 1, 1193),
                  DwordSetting("Gen_SpreadsheetColor", 0xFFE6E6),
                  CheckSetting("Gen_EnableFullRowSelect", 1, 1234),
                  DwordSetting("Gen_TrackDefaultAction", 0, 1233, Bind::ComboIndex)}) {
  if (!IsFolder(Text("Gen_TempPath"))) Text("Gen_TempPath") = DefaultTempPath();
  if (!IsFile(Text("Gen_ExtBrowserPath"))) Text("Gen_ExtBrowserPath") = kDefaultBrowser;
}

bool OptGeneral::OnInitDialog() {
  auto& combo = Ctl<ui::ComboBox>(1233);
  combo.AddString("Properties (Edit Tag)");
  combo.AddString("Play in " + PlayerName());
  if (Ask(&KernelDevice::SupportsDevicePlayback)) {
    combo.AddString("Play on Jukebox");
    combo.AddString("Queue on Jukebox");
  }
  Ctl<ui::Static>(1194).SetFillColor(static_cast<uint32_t>(Dword("Gen_SpreadsheetColor")));
  return OptionPage::OnInitDialog();
}

void OptGeneral::ExchangeMore(ui::DataExchange&) {}

bool OptGeneral::OnCommand(int id) {
  switch (id) {
    case 1096: {
      ui::FolderRequest r{Handle(), "Select a directory to use as temporary space:", FindControl(1095)->Text()};
      if (auto folder = ui::BrowseForFolder(r)) SetEditText(*this, 1095, *folder);
      return true;
    }
    case 1098: SetEditText(*this, 1095, DefaultTempPath()); return true;
    case 1099: {
      ui::FileRequest r;
      r.owner = Handle();
      r.title = "Select an External Web Browser...";
      r.filter = "External Web Browsers (*.exe)|*.exe||";
      r.defaultExtension = ".exe";
      if (auto file = ui::ChooseFile(r)) SetEditText(*this, 1097, *file);
      return true;
    }
    case 1100: SetEditText(*this, 1097, kDefaultBrowser); return true;
    case 6004: {
      ui::ColorRequest r;
      r.owner = Handle();
      r.initial = static_cast<uint32_t>(Dword("Gen_SpreadsheetColor"));
      r.custom[0] = 0xFFE6E6;
      r.custom[1] = 0xE6FFE6;
      if (auto color = ui::ChooseColor(r)) {
        Dword("Gen_SpreadsheetColor") = static_cast<int>(*color);
        Ctl<ui::Static>(1194).SetFillColor(*color);
      }
      return true;
    }
    default: return OptionPage::OnCommand(id);
  }
}

bool OptGeneral::BeforeWrite() {
  std::string& temp = Text("Gen_TempPath");
  // The default folder is made when it is first used; it is no wrong choice.
  if (temp == DefaultTempPath()) CreateFolderPath(temp);
  if (!IsFolder(temp)) {
    Inform("'" + temp + "'\nis not a valid directory.  Setting temp directory to the default.");
    temp = DefaultTempPath();
    SetEditText(*this, 1095, temp);
  }
  if (!IsFile(Text("Gen_ExtBrowserPath"))) Text("Gen_ExtBrowserPath") = kDefaultBrowser;
  return true;
}

// --- OptPellmar

std::string OptPellmar::DefaultDatabasePath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base = data && *data ? data : std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.local/share";
  return base + "/Quorral Software/";
}

OptPellmar::OptPellmar()
    : OptionPage(Page(681, "Pellmar Database",
                      {{1254, K::Edit, ""}, {1255, K::Button, "Browse ..."}, {1256, K::Button, "Use Default"},
                       {1139, K::CheckBox, "Auto-close import dialog when done."},
                       {1152, K::CheckBox, "...except when files are skipped."}}),
                 {TextSetting("Gen_DBPath", "", 1254), CheckSetting("Gen_Tx_AutoCloseDialog", 0, 1139),
                  CheckSetting("Gen_Tx_DialogStayOpenOnSkips", 0, 1152)}) {
  if (Text("Gen_DBPath").empty()) Text("Gen_DBPath") = DefaultDatabasePath();
}

bool OptPellmar::OnCommand(int id) {
  if (id == 1256) {
    SetEditText(*this, 1254, DefaultDatabasePath());
    return true;
  }
  if (id == 1255) {
    if (auto folder = ui::BrowseForFolder({Handle(), "Select a directory for the Pellmar Database:", {}}))
      SetEditText(*this, 1254, *folder);
    return true;
  }
  return OptionPage::OnCommand(id);
}

// --- MuVo pages

OptMuvoBase::OptMuvoBase(ui::DialogTemplate t, std::vector<SettingDef> settings, int autoDetect, int drives,
                         const char* letterSetting)
    : OptionPage(std::move(t), std::move(settings)), autoDetect_(autoDetect), drives_(drives),
      letterSetting_(letterSetting) {}

bool OptMuvoBase::OnInitDialog() {
  auto& combo = Ctl<ui::ComboBox>(drives_);
  uint32_t mask = platform::LogicalDriveMask();
  for (int i = 0; i < 26; ++i) {
    if (!(mask >> i & 1)) continue;
    std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
    if (platform::DriveTypeOf(root) == platform::DriveType::Removable) combo.AddString(root.substr(0, 2));
  }
  OptionPage::OnInitDialog();
  combo.SetCurSel(combo.FindStringExact(Text(letterSetting_)));
  combo.Enable(Ctl<ui::CheckBox>(autoDetect_).Check() == 0);
  return true;
}

bool OptMuvoBase::OnCommand(int id) {
  if (id == autoDetect_) {
    Ctl<ui::ComboBox>(drives_).Enable(Ctl<ui::CheckBox>(autoDetect_).Check() == 0);
    return true;
  }
  return OptionPage::OnCommand(id);
}

OptMuvo::OptMuvo()
    : OptMuvoBase(Page(643, "NOMAD MuVo",
                       {{1186, K::CheckBox, "Enable Namefold automatic filename compression."},
                        {1114, K::CheckBox, "Automatically detect MuVo."},
                        {1189, K::ComboBox, ""}}),
                  {CheckSetting("MV_EnableMaxMode", 0, 1186), CheckSetting("MV_AutoDetect", 1, 1114),
                   [] {
                     SettingDef s = TextSetting("MV_ManualDriveLetter", "", 1189);
                     s.bind = Bind::ComboText;
                     return s;
                   }()},
                  1114, 1189, "MV_ManualDriveLetter") {}

OptMuvoNX::OptMuvoNX()
    : OptMuvoBase(Page(644, "NOMAD MuVo FX",
                       {{1187, K::CheckBox, "Enable Namefold automatic filename compression and track re-ordering."},
                        {1190, K::CheckBox, "Automatically detect MuVo FX."},
                        {1188, K::ComboBox, ""}}),
                  {CheckSetting("MN_EnableMaxMode", 1, 1187), CheckSetting("MN_AutoDetect", 1, 1190),
                   [] {
                     SettingDef s = TextSetting("MN_ManualDriveLetter", "", 1188);
                     s.bind = Bind::ComboText;
                     return s;
                   }()},
                  1190, 1188, "MN_ManualDriveLetter") {}

bool OptMuvoNX::OnCommand(int id) {
  if (id == 1187 && Ctl<ui::CheckBox>(1187).Check()) {
    Inform("After enabling Namefold, please delete all existing files\non your MuVo NX before continuing to using " +
               TheProductProfile().displayName + ".",
           ui::kMbIconWarning);
    return true;
  }
  return OptMuvoBase::OnCommand(id);
}

// --- OptNomadII

OptNomadII::OptNomadII()
    : OptionPage(Page(562, "NOMAD II",
                      {{1045, K::CheckBox, "Force files to transfer in alphabetical order."},
                       {1098, K::CheckBox, "Hide Internal Memory. (For NOMAD II 0MB.)"},
                       {1097, K::CheckBox, "Hide FM Tuner. (For NOMAD IIc.)"},
                       {1053, K::Edit, ""}, {1040, K::Button, "Browse ..."}}),
                 {CheckSetting("Gen_Tx_ForceAlphaSort", 0, 1045), CheckSetting("N2_HideInternalMemory", 0, 1098),
                  CheckSetting("N2_HideFMTuner", 0, 1097), TextSetting("N2_CardReaderPath", "", 1053)}) {}

bool OptNomadII::OnCommand(int id) {
  if (id == 1040) {
    auto folder = ui::BrowseForFolder({Handle(), "Select your card reader drive:", {}});
    if (folder && !folder->empty()) SetEditText(*this, 1053, *folder);
    return true;
  }
  return OptionPage::OnCommand(id);
}

// --- OptJukebox

OptJukebox::OptJukebox()
    : OptionPage(Page(549, "Jukebox",
                      {{1133, K::Edit, ""}, {1128, K::Button, "Use Default"},
                       {1047, K::CheckBox, "Show all columns. (slower)"},
                       {1147, K::CheckBox, "When importing, overwrite existing playlists with the same name."},
                       {1151, K::CheckBox, "Do not ask to automatically create playlists after transfer."}}),
                 {TextSetting("JB_TrackDisplayFormat", "%A - %L - %N - %T", 1133, true),
                  CheckSetting("JB_ShowAllColumns", 1, 1047), CheckSetting("JB_Tx_OverwritePlaylists", 0, 1147),
                  CheckSetting("JB_Tx_DisableAskAutoPlaylistCreation", 0, 1151)}) {}

bool OptJukebox::OnCommand(int id) {
  if (id == 1128) {
    SetEditText(*this, 1133, "%A - %L - %N - %T");
    return true;
  }
  return OptionPage::OnCommand(id);
}

// --- OptJukeboxTagHandling and OptTransfersAdvanced

OptJukeboxTagHandling::OptJukeboxTagHandling()
    : OptionPage(Page(638, "Jukebox::Tag Handling",
                      {{1139, K::CheckBox, "Use Advanced Transfer Management (options below)."},
                       {1140, K::CheckBox, "Prompt user when tag is incomplete."},
                       {1141, K::CheckBox, "Skip file when tag is incomplete."},
                       {1142, K::CheckBox, "Fill incomplete tag fields with:"},
                       {1059, K::Edit, ""},
                       {1134, K::Edit, ""}, {1135, K::Button, "Use Default"}, {1136, K::Button, "Tag Help"},
                       {1048, K::CheckBox, "Skip files with corrupt tags. (slower)"},
                       {1114, K::CheckBox, "Write on-board tag edits back to transferred file. (slower)"},
                       {1116, K::Edit, ""}, {1113, K::Button, "Default List"},
                       {1117, K::CheckBox, "Use folder names when filename has too few fields to fill tag."},
                       {1118, K::Edit, ""},
                       {1119, K::CheckBox, "Write tag changes during transfer back to source file on the PC."},
                       {1120, K::CheckBox, "Write-back ID3V1 tag."},
                       {1121, K::CheckBox, "Write-back ID3V2 tag (slow on large files)."}}),
                 Join({CheckSetting("JB_Tx_UseATM", 0, 1139, true), CheckSetting("JB_Tx_ITagPrompt", 0, 1140, true),
                       CheckSetting("JB_Tx_ITagSkip", 0, 1141, true), CheckSetting("JB_Tx_ITagFill", 1, 1142, true),
                       TextSetting("JB_Tx_ITagFillWith", "<Unknown>", 1059, true),
                       TextSetting("JB_Tx2PC_FilenameFormat", "%A - %L - %N - %T.%C", 1134, true),
                       CheckSetting("JB_EnableTimedTagReads", 0, 1048), CheckSetting("JB_Tx2PC_TagWriteBack", 0, 1114)},
                      AtmSettings())) {
  AddRadioGroup({1139, 1140, 1141, 1142});
}

bool OptJukeboxTagHandling::OnInitDialog() {
  OptionPage::OnInitDialog();
  EnableWhileChecked(1119, {1120, 1121});
  return true;
}

bool OptJukeboxTagHandling::OnCommand(int id) {
  switch (id) {
    case 1119: EnableWhileChecked(1119, {1120, 1121}); return true;
    case 1135: SetEditText(*this, 1134, "%A - %L - %N - %T.%C"); return true;
    case 1113: SetEditText(*this, 1116, "-"); return true;
    case 1136: {
      std::string url = SettingString("URL_HelpTagging", "");
      if (url.empty()) url = SettingString("URL_Help", "");
      if (!url.empty()) OpenWithShell(url);
      return true;
    }
    default: return OptionPage::OnCommand(id);
  }
}

bool OptJukeboxTagHandling::BeforeWrite() {
  if (Text("JB_Tx2PC_FilenameFormat").find(".%C") == std::string::npos)
    Inform("Your transfer to PC filename format template does not include\na filename extension.\n\nYou should go back "
           "and add \".%C\" to the end of your template.",
           ui::kMbIconWarning);
  return true;
}

OptTransfersAdvanced::OptTransfersAdvanced()
    : OptionPage(Page(546, "Transfers::Advanced Mode",
                      {{1116, K::Edit, ""}, {1113, K::Button, "Default List"},
                       {1117, K::CheckBox, "Use folder names when filename has too few fields to fill tag."},
                       {1118, K::Edit, ""},
                       {1119, K::CheckBox, "Write your tag edits during transfer back to the audio source file on the PC."},
                       {1120, K::CheckBox, "Write-back ID3V1 tag."},
                       {1121, K::CheckBox, "Write-back ID3V2 tag (slower on larger files)."}}),
                 AtmSettings()) {}

bool OptTransfersAdvanced::OnInitDialog() {
  OptionPage::OnInitDialog();
  EnableWhileChecked(1119, {1120, 1121});
  return true;
}

bool OptTransfersAdvanced::OnCommand(int id) {
  if (id == 1119) {
    EnableWhileChecked(1119, {1120, 1121});
    return true;
  }
  if (id == 1113) {
    SetEditText(*this, 1116, "-");
    return true;
  }
  return OptionPage::OnCommand(id);
}

// --- OptTransfers

OptTransfers::OptTransfers()
    : OptionPage(Page(637, "Transfers",
                      {{1131, K::CheckBox, "Insert pause of"}, {1132, K::Edit, ""},
                       {1137, K::CheckBox, "Disable recursive folder search."},
                       {1139, K::CheckBox, "Auto-close transfer dialog when done."},
                       {1152, K::CheckBox, "...except when files are skipped."},
                       {1251, K::ListView, ""}}),
                 {CheckSetting("Gen_Tx2PC_PauseEnable", 0, 1131),
                  Ranged(DwordSetting("Gen_Tx2PC_PauseLength", 1, 1132, Bind::Int), 1, 7, 1),
                  CheckSetting("Gen_Tx_DisableRecursion", 0, 1137), CheckSetting("Gen_Tx_AutoCloseDialog", 0, 1139),
                  CheckSetting("Gen_Tx_DialogStayOpenOnSkips", 0, 1152),
                  DwordSetting("Gen_Tx_SkipData", 0)}) {}

bool OptTransfers::OnInitDialog() {
  auto& list = Ctl<ui::ListView>(1251);
  list.SetCheckBoxes(true);
  list.InsertColumn(0, "Excluded File Types", 200);
  list.SetColumnWidth(0, ui::kLvscwAutoSizeUseHeader);
  list.InsertItem(0, "Data Files");
  OptionPage::OnInitDialog();
  EnableWhileChecked(1131, {1132});
  return true;
}

void OptTransfers::ExchangeMore(ui::DataExchange& dx) {
  auto& list = Ctl<ui::ListView>(1251);
  if (dx.Saving()) {
    for (int row = 0; row < list.ItemCount(); ++row)
      if (list.ItemText(row, 0) == "Data Files") Dword("Gen_Tx_SkipData") = list.GetCheck(row) ? 1 : 0;
  } else {
    for (int row = 0; row < list.ItemCount(); ++row)
      if (list.ItemText(row, 0) == "Data Files") list.SetCheck(row, Dword("Gen_Tx_SkipData") != 0);
  }
  EnableWhileChecked(1131, {1132});
}

void OptTransfers::WriteMore() {
  // The per-format skips of the formats a transfer takes are cleared, with
  // the page's other settings: only OK writes them.
  for (int code = 1; code <= 11; ++code) {
    std::string ext(GetExtensionForFileType(code));
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (IsTransferable("file." + ext)) WriteSettingDword("Gen_Tx_Skip" + ext, 0);
  }
}

bool OptTransfers::OnCommand(int id) {
  if (id == 1131) {
    EnableWhileChecked(1131, {1132});
    return true;
  }
  return OptionPage::OnCommand(id);
}

// --- Folder structure pages

OptFolderStructure::OptFolderStructure(ui::DialogTemplate t, std::vector<SettingDef> settings)
    : OptionPage(std::move(t), std::move(settings)) {
  if (Text("MS_AudioRoot").empty()) Text("MS_AudioRoot") = "ROOT";
}

std::string OptFolderStructure::StoredAudioRoot(std::string_view shown) {
  if (shown == "ROOT") return {};
  std::string s;
  for (char c : shown)
    if (c != '\\') s += c;
  return NormalizePath(s);
}

bool OptFolderStructure::OnInitDialog() {
  OptionPage::OnInitDialog();
  bool own = FindControl(1260)->Text() != "ROOT";
  Ctl<ui::CheckBox>(1108).SetCheck(own ? 1 : 0);
  FindControl(1260)->Enable(own);
  return true;
}

bool OptFolderStructure::OnCommand(int id) {
  if (id == 1108) {
    bool on = Ctl<ui::CheckBox>(1108).Check() != 0;
    FindControl(1260)->Enable(on);
    FindControl(1260)->SetText(on ? "" : "ROOT");
    return true;
  }
  return OptionPage::OnCommand(id);
}

bool OptFolderStructure::BeforeWrite() {
  Text("MS_AudioRoot") = StoredAudioRoot(Text("MS_AudioRoot"));
  return true;
}

OptIHP::OptIHP()
    : OptFolderStructure(Page(6004, "Transfers::Folder Structure",
                              {{1026, K::CheckBox, "Subdivide Artist folders into Album subfolders."},
                               {1018, K::CheckBox, "Artist\\Tracks"},
                               {1019, K::CheckBox, "[A-Z]\\Artist\\Tracks"},
                               {1020, K::CheckBox, "Genre\\Artist\\Tracks"},
                               {1108, K::CheckBox,
                                "Store music tracks in the following subfolder instead of the root folder:"},
                               {1260, K::Edit, ""}}),
                         {CheckSetting("IH_UseAlbumSubFolders", 0, 1026), CheckSetting("IH_FolderFormat_AT", 1, 1018, true),
                          CheckSetting("IH_FolderFormat_AAT", 0, 1019, true),
                          CheckSetting("IH_FolderFormat_GAT", 0, 1020, true), TextSetting("MS_AudioRoot", "", 1260)}) {
  AddRadioGroup({1018, 1019, 1020});
}

OptXclef::OptXclef()
    : OptFolderStructure(Page(6005, "Transfers::Folder Structure",
                              {{1108, K::CheckBox,
                                "Store music tracks in the following subfolder instead of the root folder:"},
                               {1260, K::Edit, ""}, {1034, K::Edit, ""}, {1033, K::Button, "Use Default"}}),
                         {TextSetting("MS_AudioRoot", "", 1260),
                          TextSetting("MS_Tx_FilenameFormat", "%G\\%A\\%L\\%N %T", 1034)}) {}

bool OptXclef::OnCommand(int id) {
  if (id == 1033) {
    SetEditText(*this, 1034, "%G\\%A\\%L\\%N %T");
    return true;
  }
  return OptFolderStructure::OnCommand(id);
}

// --- OptTransfersTranscode

const TranscodeScale kMp3Bitrates{{32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}, 8};
const TranscodeScale kWmaBitrates{{32, 48, 64, 80, 96, 128, 160, 192, 256, 320}, 5};
const TranscodeScale kWmaQualities{{10, 25, 50, 75, 90, 98}, 2};

int TranscodeScale::Position(int value) const {
  auto it = std::find(values.begin(), values.end(), value);
  return it == values.end() ? outside : static_cast<int>(it - values.begin());
}

OptTransfersTranscode::OptTransfersTranscode()
    : OptionPage(Page(636, "Sonvert::Encoding Options",
                      {{1159, K::CheckBox, "Constant Bitrate"}, {1161, K::CheckBox, "Variable Bitrate"},
                       {1162, K::Slider, ""}, {1170, K::Static, ""}, {1164, K::Slider, ""}, {1172, K::Static, ""},
                       {1179, K::CheckBox, "Constant Bitrate"}, {1181, K::CheckBox, "Variable Bitrate"},
                       {1182, K::Slider, ""}, {1173, K::Static, ""}, {1184, K::Slider, ""}, {1174, K::Static, ""},
                       {1242, K::Edit, ""}}),
                 {CheckSetting("Xc_MP3_RateMode_CBR", 1, 1159, true), CheckSetting("Xc_MP3_RateMode_VBR", 0, 1161, true),
                  DwordSetting("Xc_MP3_CBRBitrate", 128), DwordSetting("Xc_MP3_VBRQuality", 4),
                  CheckSetting("Xc_WMA_RateMode_CBR", 1, 1179, true), CheckSetting("Xc_WMA_RateMode_VBR", 0, 1181, true),
                  DwordSetting("Xc_WMA_CBRBitrate", 128), DwordSetting("Xc_WMA_VBRQuality", 50),
                  Ranged(DwordSetting("Xc2_RThr", 128, 1242, Bind::Int), 32, 320, 128)}) {
  AddRadioGroup({1159, 1161});
  AddRadioGroup({1179, 1181});
  // A stored quality outside 0..9 would give no position: it is clamped.
  Dword("Xc_MP3_VBRQuality") = std::clamp(Dword("Xc_MP3_VBRQuality"), 0, 9);
  mp3Bitrate = kMp3Bitrates.Position(Dword("Xc_MP3_CBRBitrate"));
  mp3Quality = 9 - Dword("Xc_MP3_VBRQuality");
  wmaBitrate = kWmaBitrates.Position(Dword("Xc_WMA_CBRBitrate"));
  wmaQuality = kWmaQualities.Position(Dword("Xc_WMA_VBRQuality"));
}

bool OptTransfersTranscode::OnInitDialog() {
  Ctl<ui::Slider>(1162).SetRange(0, 13);
  Ctl<ui::Slider>(1164).SetRange(0, 9);
  Ctl<ui::Slider>(1182).SetRange(0, 9);
  Ctl<ui::Slider>(1184).SetRange(0, 5);
  OptionPage::OnInitDialog();
  UpdateLabels();
  ShowModes();
  return true;
}

void OptTransfersTranscode::ExchangeMore(ui::DataExchange& dx) {
  std::pair<int, int*> sliders[] = {{1162, &mp3Bitrate}, {1164, &mp3Quality}, {1182, &wmaBitrate}, {1184, &wmaQuality}};
  for (auto [id, pos] : sliders) {
    auto& s = Ctl<ui::Slider>(id);
    if (dx.Saving()) *pos = s.Pos();
    else s.SetPos(*pos);
  }
  if (dx.Saving()) {
    // The table values at the positions; quality is the position's mirror.
    Dword("Xc_MP3_CBRBitrate") = kMp3Bitrates.values[std::clamp(mp3Bitrate, 0, 13)];
    Dword("Xc_MP3_VBRQuality") = 9 - std::clamp(mp3Quality, 0, 9);
    Dword("Xc_WMA_CBRBitrate") = kWmaBitrates.values[std::clamp(wmaBitrate, 0, 9)];
    Dword("Xc_WMA_VBRQuality") = kWmaQualities.values[std::clamp(wmaQuality, 0, 5)];
  }
}

void OptTransfersTranscode::WriteMore() {}

void OptTransfersTranscode::UpdateLabels() {
  auto text = [](const char* format, int v) {
    char b[32];
    std::snprintf(b, sizeof b, format, v);
    return std::string(b);
  };
  FindControl(1170)->SetText(text("%d Kbps ", kMp3Bitrates.values[std::clamp(Ctl<ui::Slider>(1162).Pos(), 0, 13)]));
  FindControl(1172)->SetText(text("%d %% ", (Ctl<ui::Slider>(1164).Pos() + 1) * 10));
  FindControl(1173)->SetText(text("%d Kbps ", kWmaBitrates.values[std::clamp(Ctl<ui::Slider>(1182).Pos(), 0, 9)]));
  FindControl(1174)->SetText(text("%d %% ", kWmaQualities.values[std::clamp(Ctl<ui::Slider>(1184).Pos(), 0, 5)]));
}

void OptTransfersTranscode::ShowModes() {
  bool mp3Vbr = Ctl<ui::CheckBox>(1161).Check() != 0;
  bool wmaVbr = Ctl<ui::CheckBox>(1181).Check() != 0;
  FindControl(1162)->Show(!mp3Vbr);
  FindControl(1170)->Show(!mp3Vbr);
  FindControl(1164)->Show(mp3Vbr);
  FindControl(1172)->Show(mp3Vbr);
  FindControl(1182)->Show(!wmaVbr);
  FindControl(1173)->Show(!wmaVbr);
  FindControl(1184)->Show(wmaVbr);
  FindControl(1174)->Show(wmaVbr);
}

void OptTransfersTranscode::OnHScroll(ui::Slider&, int) { UpdateLabels(); }

bool OptTransfersTranscode::OnCommand(int id) {
  bool handled = OptionPage::OnCommand(id);
  if (id == 1159 || id == 1161 || id == 1179 || id == 1181) ShowModes();
  return handled;
}

// --- OptAbout

OptAbout::OptAbout()
    : OptionPage(Page(522, "About", {{1071, K::Static, ""}, {1072, K::Button, "Driver Info..."}}), {}) {}

bool OptAbout::OnInitDialog() {
  FindControl(1071)->SetText(TheProductProfile().explorerName + " " + GetModuleVersionString());
  return OptionPage::OnInitDialog();
}

bool OptAbout::OnCommand(int id) {
  if (id != 1072) return OptionPage::OnCommand(id);
  // The driver's name comes back as the request's notice, which the client shows.
  try {
    TheClient().GetDriverName();
  } catch (const ui::UiScriptError&) {
    throw;
  } catch (const std::exception& e) {
    ReportClientException("Could not read the driver's name.", e);
  }
  return true;
}

}  // namespace hub
