// Sonvert lists: playlists on the player whose contents come from rules (up
// to three conditions on track fields, a size limit and an order). The rules
// live in an enciphered file per list and player on this computer; the editor
// turns them into a query, runs it on the player and fills the playlist.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "common/sortable_id_array.h"
#include "platform/ui/ui_window.h"

namespace hub {

class KernelDevice;

inline constexpr std::string_view kSonvertNotUsed = "(not used)";
inline constexpr int kSonvertRuleRows = 3;

struct SonvertRules {
  int limitNumber = 90;
  std::string limitUnit = "minutes";
  std::string match = "all";
  std::array<std::string, kSonvertRuleRows> field{"Artist", std::string(kSonvertNotUsed), std::string(kSonvertNotUsed)};
  std::array<std::string, kSonvertRuleRows> condition{"contains", "contains", "contains"};
  std::array<std::string, kSonvertRuleRows> value{};
  std::string order = "randomly";

  bool operator==(const SonvertRules&) const = default;
};

// The field choices of the product (the extra ones of products 4, 7 and 8 last).
std::vector<std::string> SonvertFieldChoices(int productNumber);

// The record before enciphering: 13 parts joined by "|", an empty value as
// "-"; "%", "|" and a value that is exactly "-" are percent-encoded, so every
// value comes back as typed.
std::string FormatSonvertRecord(const SonvertRules& rules);
// The rules of a record of exactly 13 parts; nothing otherwise.
std::optional<SonvertRules> ParseSonvertRecord(std::string_view record);

// Blowfish in CBC mode with PKCS#7 padding under the library's key and a zero IV.
std::string EncipherSonvertRecord(std::string_view plain);
// Nothing when the text is not a whole number of blocks or its padding is wrong.
std::optional<std::string> DecipherSonvertRecord(std::string_view cipher);

// Why the rules cannot make a query (a quote in a value, a numeric field
// with anything but digits), or nothing when they can.
std::optional<std::string> CheckSonvertRules(const SonvertRules& rules);
// "SELECT id FROM audio WHERE " + the conditions + ";".
std::string BuildSonvertQuery(const SonvertRules& rules);

// The limits of the size limit: tracks, seconds, KB.
struct SonvertLimits {
  uint64_t tracks = 10000;
  uint64_t seconds = 36000000;
  uint64_t kilobytes = 100000000;
};
SonvertLimits SonvertLimitsOf(const SonvertRules& rules);
// The ids taken from the ordered ids: each track's length and size (KB,
// truncated) are added up, and the first track that takes a total past its
// limit ends the list without being taken.
std::vector<KernelId> TakeWithinLimits(KernelDevice& device, const std::vector<KernelId>& ordered,
                                       const SonvertLimits& limits);

// The rule file: folder (Gen_AppDataDir, else the player's application-data
// folder) + "slists", and the name of the list on this player.
std::string SonvertListFolder(KernelDevice& device);
std::string SonvertListFileName(std::string_view deviceDigits, std::string_view listName);
// The rules stored for the list; the defaults when the file is missing or damaged.
SonvertRules LoadSonvertRules(const std::string& path);
// Written whole or not at all; false when it could not be written.
bool SaveSonvertRules(const std::string& path, const SonvertRules& rules);

// Runs the query, orders and trims the result and replaces the playlist's
// entries. The number of tracks placed; 0 (nothing changed) when none matched.
size_t ApplySonvertList(KernelDevice& device, const KernelId& playlist, const SonvertRules& rules);

class SonvertListEditDialog : public platform::ui::Dialog {
 public:
  static constexpr int kTemplate = 662;
  static constexpr int kLimitNumber = 1228;
  static constexpr int kLimitUnit = 1219;
  static constexpr int kMatch = 1220;
  static constexpr int kFields[kSonvertRuleRows] = {1221, 1223, 1225};
  static constexpr int kConditions[kSonvertRuleRows] = {1222, 1224, 1226};
  static constexpr int kValues[kSonvertRuleRows] = {1229, 1230, 1231};
  static constexpr int kOrder = 1227;

  SonvertListEditDialog(platform::ui::WindowHandle parent, const KernelId& playlist);

  bool OnInitDialog() override;
  void DoDataExchange(platform::ui::DataExchange& dx) override;
  void OnOK() override;
  bool OnCommand(int id) override;

  const SonvertRules& Rules() const { return rules_; }
  const std::string& ListName() const { return listName_; }

 private:
  void EnableRows();
  std::string RuleFilePath();

  KernelId playlist_;
  SonvertRules rules_;
  std::string listName_;
};

// The editor of one list, modal, owned by the message owner.
void EditSonvertList(const KernelId& playlist);

}  // namespace hub
