// The columns of the item list: constant column sets chosen by the folder,
// and ListColumnManager, which shows, hides, orders and sizes them and keeps
// each folder kind's layout in the settings ("Vc_<kind><key>" + S, W, O).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/list_view.h"
#include "platform/ui/menu.h"
#include "shell/namespace/pidl_access.h"

namespace hub {

inline constexpr int kMaxListColumns = 128;
// Header-menu commands: 20000 + column id.
inline constexpr int kColumnCommandFirst = 20000;
inline constexpr int kColumnCommandLast = 21000;
// Column states of the audio sets.
inline constexpr int8_t kColumnShown = 1;
inline constexpr int8_t kColumnHidden = 0;
inline constexpr int8_t kColumnUnavailable = -1;
inline constexpr int8_t kColumnNoState = 2;  // sets without states: always offered, shown by default

struct ColumnSpec {
  std::string_view name;
  uint16_t width = 0;
  uint16_t order = 0;  // default display position
  bool right = false;
  int8_t state = kColumnNoState;
};

struct ColumnSet {
  std::string_view name;
  std::vector<ColumnSpec> columns;
  bool audio = false;
  int Count() const { return static_cast<int>(columns.size()); }
};

// What the choice of a set depends on.
struct ColumnSetQuery {
  uint32_t folderKind = 0;  // 0: the namespace root
  uint32_t folderKey = 0;
  int product = 0;
  std::string familyCode;
  uint32_t deviceNumber = 0;
  bool segmentOp3170 = false;
};
const ColumnSet& ChooseColumnSet(const ColumnSetQuery& query);
// The query for a folder (null: the root), asking the device what the set depends on.
ColumnSetQuery ColumnSetQueryFor(LPCITEMIDLIST folder);

class ListColumnManager {
 public:
  // `folder`: the folder's list (null for the root; not owned, read here only).
  ListColumnManager(LPCITEMIDLIST folder, platform::ui::ListView& list);
  // The same with the set already chosen (tests, and a caller that asked the device).
  ListColumnManager(const ColumnSetQuery& query, platform::ui::ListView& list);

  void LoadDefaults();
  void BuildColumns();
  int ColumnOfSubItem(int subItem) const;
  void ReadWidths();
  void ReadOrder();
  // Answers the column's new shown state (0 for ids the set does not have; column 0 stays shown).
  int ToggleColumn(int id);
  void ResetColumns();
  void AutoSizeColumns();
  void SaveColumns();
  void StopPersisting() { persist_ = false; }
  bool Persisting() const { return persist_; }
  void AppendHeaderMenu(platform::ui::Menu& menu) const;
  std::string GetColumnName(int id) const;

  const ColumnSet& Set() const { return *set_; }
  const std::string& Key() const { return key_; }
  bool Shown(int id) const { return id >= 0 && id < kMaxListColumns && shown_[id]; }
  int Width(int id) const { return id >= 0 && id < kMaxListColumns ? widths_[id] : 0; }
  // The shown column ids in display order.
  std::vector<int> DisplayOrder() const;

 private:
  void Init(const ColumnSetQuery& query);
  void LoadStored();

  platform::ui::ListView& list_;
  std::string key_;
  const ColumnSet* set_ = nullptr;
  std::array<uint16_t, kMaxListColumns> shown_{};
  std::array<uint16_t, kMaxListColumns> widths_{};
  std::array<uint16_t, kMaxListColumns> order_{};
  std::vector<int> map_;  // column id of each list column
  bool persist_ = true;
};

}  // namespace hub
