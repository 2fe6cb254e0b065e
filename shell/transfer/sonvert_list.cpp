// Sonvert lists: the rule record and its file, the query, the limits and the editor.
#include "shell/transfer/sonvert_list.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <cstdlib>
#include <exception>

#include "common/atomic_file.h"
#include "common/explorer_refresh.h"
#include "common/folders.h"
#include "common/kernel_device.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "platform/fs/volumes.h"
#include "platform/fs/whole_file.h"
#include "platform/ui/prompts.h"
#include "shell/client/sha1_hex.h"
#include "shell/namespace/playlist_commands.h"
#include "shell/namespace/the_client.h"

namespace hub {

namespace ui = platform::ui;

namespace {

constexpr size_t kRecordParts = 13;
// The library's key: files need only be read back by this implementation.
constexpr CryptoPP::byte kKey[8] = {0x51, 0x75, 0x6F, 0x72, 0x72, 0x61, 0x6C, 0x53};
// A name longer than this is no file name on Linux.
constexpr size_t kMaxFileName = 255;
// Rule files are a few hundred bytes; anything far larger is not one.
constexpr size_t kMaxRuleFileBytes = 64 * 1024;

constexpr const char* kUnitChoices[] = {"minutes", "hours", "tracks", "MB"};
constexpr const char* kMatchChoices[] = {"all", "any"};
constexpr const char* kConditionChoices[] = {"contains",     "does not contain", "is equal to",
                                       "is not equal to", "is less than",  "is greater than"};
constexpr const char* kOrderChoices[] = {"randomly", "by artist/album/trackname"};

std::string EncodeValue(std::string_view value) {
  if (value.empty()) return "-";
  if (value == "-") return "%2D";
  std::string out;
  for (char c : value) {
    if (c == '%') out += "%25";
    else if (c == '|') out += "%7C";
    else out += c;
  }
  return out;
}

// Only the three escapes the writer makes are read, so a value of an older
// file that holds some other "%" sequence comes back as it was.
std::string DecodeValue(std::string_view part) {
  if (part == "-") return {};
  std::string out;
  for (size_t i = 0; i < part.size(); ++i) {
    std::string_view rest = part.substr(i, 3);
    if (rest == "%25") out += '%';
    else if (rest == "%7C" || rest == "%7c") out += '|';
    else if (rest == "%2D" || rest == "%2d") out += '-';
    else {
      out += part[i];
      continue;
    }
    i += 2;
  }
  return out;
}

std::vector<std::string> SplitBars(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t bar = text.find('|', start);
    parts.emplace_back(text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return parts;
}

struct Column {
  std::string name;
  bool numeric = false;
  bool minutes = false;
};

Column ColumnOf(std::string_view field) {
  if (field == "Track Number") return {"tracknum", true};
  if (field == "Track Title") return {"title", false};
  if (field == "Minutes") return {"length", true, true};
  if (field == "Bytes") return {"size", false};
  if (field == "Bitrate" || field == "Year" || field == "Rating" || field == "PlayCount") return {AsciiLower(field), true};
  return {AsciiLower(field), false};
}

std::string OperatorOf(std::string_view condition) {
  if (condition == "contains") return "?";
  if (condition == "does not contain") return "#";
  if (condition == "is equal to") return "=";
  if (condition == "is not equal to") return "!=";
  if (condition == "is less than") return "<";
  if (condition == "is greater than") return ">";
  return "=";
}

bool RowUsed(const SonvertRules& rules, int row) { return row == 0 || rules.field[row] != kSonvertNotUsed; }

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string UpperHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

}  // namespace

std::vector<std::string> SonvertFieldChoices(int productNumber) {
  std::vector<std::string> fields = {"Artist", "Album",   "Track Number", "Track Title", "Genre",
                                     "Year",   "Minutes", "Bitrate",      "Bytes",       "Comment"};
  if (productNumber == 4) fields.insert(fields.end(), {"Composer", "Rating", "PlayCount"});
  if (productNumber == 7 || productNumber == 8) fields.insert(fields.end(), {"Composer", "Rating"});
  return fields;
}

std::string FormatSonvertRecord(const SonvertRules& r) {
  // Texts chosen from the lists never hold "|"; values are what a person typed.
  std::string out = std::to_string(r.limitNumber) + "|" + r.limitUnit + "|" + r.match;
  for (int row = 0; row < kSonvertRuleRows; ++row)
    out += "|" + r.field[row] + "|" + r.condition[row] + "|" + EncodeValue(r.value[row]);
  return out + "|" + r.order;
}

std::optional<SonvertRules> ParseSonvertRecord(std::string_view record) {
  std::vector<std::string> p = SplitBars(record);
  if (p.size() != kRecordParts) return std::nullopt;
  SonvertRules r;
  r.limitNumber = std::atoi(p[0].c_str());
  r.limitUnit = p[1];
  r.match = p[2];
  for (int row = 0; row < kSonvertRuleRows; ++row) {
    r.field[row] = p[3 + 3 * row];
    r.condition[row] = p[4 + 3 * row];
    r.value[row] = DecodeValue(p[5 + 3 * row]);
  }
  r.order = p[12];
  return r;
}

std::string EncipherSonvertRecord(std::string_view plain) {
  CryptoPP::byte iv[CryptoPP::Blowfish::BLOCKSIZE] = {};
  CryptoPP::CBC_Mode<CryptoPP::Blowfish>::Encryption cipher(kKey, sizeof kKey, iv);
  std::string out;
  CryptoPP::StringSource source(reinterpret_cast<const CryptoPP::byte*>(plain.data()), plain.size(), true,
                                new CryptoPP::StreamTransformationFilter(
                                    cipher, new CryptoPP::StringSink(out),
                                    CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
  return out;
}

std::optional<std::string> DecipherSonvertRecord(std::string_view text) {
  if (text.empty() || text.size() % CryptoPP::Blowfish::BLOCKSIZE != 0) return std::nullopt;
  try {
    CryptoPP::byte iv[CryptoPP::Blowfish::BLOCKSIZE] = {};
    CryptoPP::CBC_Mode<CryptoPP::Blowfish>::Decryption cipher(kKey, sizeof kKey, iv);
    std::string out;
    CryptoPP::StringSource source(reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size(), true,
                                  new CryptoPP::StreamTransformationFilter(
                                      cipher, new CryptoPP::StringSink(out),
                                      CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
    return out;
  } catch (const CryptoPP::Exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> CheckSonvertRules(const SonvertRules& rules) {
  for (int row = 0; row < kSonvertRuleRows; ++row) {
    if (!RowUsed(rules, row)) continue;
    const std::string& value = rules.value[row];
    // The query language keeps doubled quotes as they are, so a quote cannot be written at all.
    if (value.find('\'') != std::string::npos)
      return "The value of rule " + std::to_string(row + 1) + " contains a single quote ('), which cannot be searched for.";
    if (ColumnOf(rules.field[row]).numeric && !AllDigits(value))
      return "The value of rule " + std::to_string(row + 1) + " (" + rules.field[row] + ") must be a whole number.";
  }
  return std::nullopt;
}

std::string BuildSonvertQuery(const SonvertRules& rules) {
  std::string connector = rules.match == "any" ? " OR " : " AND ";
  std::string where;
  for (int row = 0; row < kSonvertRuleRows; ++row) {
    if (!RowUsed(rules, row)) continue;
    Column column = ColumnOf(rules.field[row]);
    std::string value = rules.value[row];
    if (column.minutes) value = std::to_string(int64_t(std::atoi(value.c_str())) * 60);
    else if (!column.numeric) value = "'" + value + "'";
    if (row) where += connector;
    where += column.name + OperatorOf(rules.condition[row]) + value;
  }
  return "SELECT id FROM audio WHERE " + where + ";";
}

SonvertLimits SonvertLimitsOf(const SonvertRules& rules) {
  SonvertLimits limits;
  uint64_t n = rules.limitNumber > 0 ? uint64_t(rules.limitNumber) : 0;
  if (rules.limitUnit == "tracks") limits.tracks = n;
  else if (rules.limitUnit == "minutes") limits.seconds = n * 60;
  else if (rules.limitUnit == "hours") limits.seconds = n * 3600;
  else if (rules.limitUnit == "MB") limits.kilobytes = n * 1000;
  return limits;
}

std::vector<KernelId> TakeWithinLimits(KernelDevice& device, const std::vector<KernelId>& ordered,
                                       const SonvertLimits& limits) {
  std::vector<KernelId> taken;
  uint64_t seconds = 0, kilobytes = 0, count = 0;
  for (const KernelId& id : ordered) {
    _AUDIODATA record;
    device.GetTrackInfo(id, record);
    seconds += record.length;
    kilobytes += record.size / 1024;
    ++count;
    if (count > limits.tracks || seconds > limits.seconds || kilobytes > limits.kilobytes) break;
    taken.push_back(id);
  }
  return taken;
}

std::string SonvertListFolder(KernelDevice& device) {
  std::string folder;
  ReadSettingString("Gen_AppDataDir", folder);
  if (folder.empty()) {
    std::string playerPath = device.GetDeviceAppDataPath();
    auto native = platform::ResolvePlayerPath(playerPath);
    if (!native) throw std::runtime_error("The player's application-data folder " + playerPath + " cannot be reached.");
    folder = *native;
  }
  if (folder.back() != '/') folder += '/';
  return folder + "slists";
}

std::string SonvertListFileName(std::string_view deviceDigits, std::string_view listName) {
  std::string text = std::string(deviceDigits) + std::string(listName);
  std::string name = UpperHex(text);
  if (name.size() <= kMaxFileName) return name;
  CryptoPP::SHA1 sha;
  CryptoPP::byte digest[CryptoPP::SHA1::DIGESTSIZE];
  sha.CalculateDigest(digest, reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size());
  return UpperHex(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

SonvertRules LoadSonvertRules(const std::string& path) {
  platform::WholeFileRead read = platform::ReadWholeFile(path, kMaxRuleFileBytes);
  if (!read.ok()) return {};
  auto plain = DecipherSonvertRecord(std::string_view(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()));
  if (!plain) return {};
  return ParseSonvertRecord(*plain).value_or(SonvertRules{});
}

bool SaveSonvertRules(const std::string& path, const SonvertRules& rules) {
  return WriteFileAtomically(path, EncipherSonvertRecord(FormatSonvertRecord(rules)));
}

size_t ApplySonvertList(KernelDevice& device, const KernelId& playlist, const SonvertRules& rules) {
  SortableKernelIdArray ids(&device);
  KernelId id;
  for (int more = device.RunQuery(BuildSonvertQuery(rules), id); more; more = device.GetNextQueryResult(id))
    ids.push_back(id);
  if (ids.empty()) return 0;
  if (rules.order == "randomly") ids.Shuffle();
  else ids.Sort(-1);
  std::vector<KernelId> taken = TakeWithinLimits(device, ids, SonvertLimitsOf(rules));

  device.ClearIdBatch();
  KernelId entry;
  for (int more = device.GetFirstPlaylistItem(playlist, entry); more; more = device.GetNextPlaylistItem(playlist, entry))
    device.AddToIdBatch(entry);
  device.RemoveBatchFromPlaylist(playlist);
  device.ClearIdBatch();
  for (const KernelId& t : taken) device.AddToIdBatch(t);
  device.AddBatchToPlaylist(playlist);
  return taken.size();
}

// --- The editor

namespace {

ui::DialogTemplate SonvertTemplate() {
  using K = ui::ControlKind;
  ui::DialogTemplate t{SonvertListEditDialog::kTemplate, "Edit SonvertList", {}, 330, 170};
  t.controls.push_back({SonvertListEditDialog::kLimitNumber, K::Edit, ""});
  t.controls.push_back({SonvertListEditDialog::kLimitUnit, K::ComboBox, ""});
  t.controls.push_back({SonvertListEditDialog::kMatch, K::ComboBox, ""});
  for (int row = 0; row < kSonvertRuleRows; ++row) {
    t.controls.push_back({SonvertListEditDialog::kFields[row], K::ComboBox, ""});
    t.controls.push_back({SonvertListEditDialog::kConditions[row], K::ComboBox, ""});
    t.controls.push_back({SonvertListEditDialog::kValues[row], K::Edit, ""});
  }
  t.controls.push_back({SonvertListEditDialog::kOrder, K::ComboBox, ""});
  t.controls.push_back({ui::kIdOk, K::Button, "OK"});
  t.controls.push_back({ui::kIdCancel, K::Button, "Cancel"});
  return t;
}

void Fill(ui::ComboBox& box, const std::vector<std::string>& items) {
  box.ResetContent();
  for (const auto& item : items) box.AddString(item);
}

}  // namespace

SonvertListEditDialog::SonvertListEditDialog(ui::WindowHandle parent, const KernelId& playlist)
    : ui::Dialog(SonvertTemplate(), parent), playlist_(playlist) {}

std::string SonvertListEditDialog::RuleFilePath() {
  KernelDevice& d = TheClient();
  return SonvertListFolder(d) + "/" + SonvertListFileName(Sha1HexOfString(d.GetDeviceId()), listName_);
}

bool SonvertListEditDialog::OnInitDialog() {
  std::string name = TheClient().GetPlaylistName(playlist_);
  std::string_view prefix = SonvertListPrefix();
  if (name.starts_with(prefix)) name.erase(0, prefix.size());
  listName_ = name;
  SetCaption("Edit SonvertList - " + listName_);

  Fill(Ctl<ui::ComboBox>(kLimitUnit), {std::begin(kUnitChoices), std::end(kUnitChoices)});
  Fill(Ctl<ui::ComboBox>(kMatch), {std::begin(kMatchChoices), std::end(kMatchChoices)});
  std::vector<std::string> fields = SonvertFieldChoices(TheProductProfile().productNumber);
  for (int row = 0; row < kSonvertRuleRows; ++row) {
    std::vector<std::string> choices = fields;
    if (row) choices.insert(choices.begin(), std::string(kSonvertNotUsed));
    Fill(Ctl<ui::ComboBox>(kFields[row]), choices);
    Fill(Ctl<ui::ComboBox>(kConditions[row]), {std::begin(kConditionChoices), std::end(kConditionChoices)});
  }
  Fill(Ctl<ui::ComboBox>(kOrder), {std::begin(kOrderChoices), std::end(kOrderChoices)});

  std::string path;
  try {
    path = RuleFilePath();
  } catch (const std::exception&) {
    // No folder for rule files: the defaults, and OK reports why nothing is saved.
  }
  rules_ = path.empty() ? SonvertRules{} : LoadSonvertRules(path);
  bool shown = ui::Dialog::OnInitDialog();
  EnableRows();
  return shown;
}

void SonvertListEditDialog::DoDataExchange(ui::DataExchange& dx) {
  dx.IntRange(kLimitNumber, rules_.limitNumber, 1, 9999);
  dx.ComboText(kLimitUnit, rules_.limitUnit);
  dx.ComboText(kMatch, rules_.match);
  for (int row = 0; row < kSonvertRuleRows; ++row) {
    dx.ComboText(kFields[row], rules_.field[row]);
    dx.ComboText(kConditions[row], rules_.condition[row]);
    dx.Text(kValues[row], rules_.value[row]);
  }
  dx.ComboText(kOrder, rules_.order);
}

void SonvertListEditDialog::EnableRows() {
  for (int row = 1; row < kSonvertRuleRows; ++row) {
    bool used = Ctl<ui::ComboBox>(kFields[row]).Value() != kSonvertNotUsed;
    Ctl<ui::ComboBox>(kConditions[row]).Enable(used);
    Ctl<ui::Control>(kValues[row]).Enable(used);
  }
}

bool SonvertListEditDialog::OnCommand(int id) {
  if (id == kFields[1] || id == kFields[2]) {
    EnableRows();
    return true;
  }
  return ui::Dialog::OnCommand(id);
}

void SonvertListEditDialog::OnOK() {
  if (!UpdateData(true)) return;
  if (auto problem = CheckSonvertRules(rules_)) {
    ShowMessage(*problem, ui::kMbIconInformation);
    return;
  }
  try {
    ui::WaitCursor wait;
    if (ApplySonvertList(TheClient(), playlist_, rules_) == 0)
      ShowMessage("Conditions produced no matches.", ui::kMbIconInformation);
    else
      RefreshExplorerAfterConnect();
    // The rules are kept whether or not anything matched.
    std::string path = RuleFilePath();
    if (!CreateFolderPath(path.substr(0, path.rfind('/'))) || !SaveSonvertRules(path, rules_))
      ShowMessage("Could not save the rules of this SonvertList to\n" + path, ui::kMbIconInformation);
  } catch (const std::exception& e) {
    ReportClientException("Could not update the SonvertList.", e);
  }
  EndDialog(ui::kIdOk);
}

void EditSonvertList(const KernelId& playlist) {
  SonvertListEditDialog dialog(GetMessageOwner(), playlist);
  dialog.DoModal();
}

}  // namespace hub
