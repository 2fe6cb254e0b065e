// The SQL engine behind the device's query operation.
#include "sql/sql_query_engine.h"

#include "common/settings.h"
#include "sql/select_statement.h"
#include "sql/sql_exception.h"
#include "sql/tables_snapshot.h"

namespace hub {

CTableSourceKernelDevice::CTableSourceKernelDevice(KernelDevice& device)
    : snapshot_(device.TakeQuerySnapshot()), adapter_(device), walk_(&adapter_) {
  if (!snapshot_) lock_ = device.Lock();
}

std::unique_ptr<CTable> CTableSourceKernelDevice::OpenTable(std::string_view name) {
  if (snapshot_) {
    if (name == "audio") return std::make_unique<CTableSnapshotAudio>(snapshot_);
    if (name == "playlist") return std::make_unique<CTableSnapshotPlaylist>(snapshot_);
    if (name == "plitem") return std::make_unique<CTableSnapshotPlaylistItem>(snapshot_);
  }
  return walk_.OpenTable(name);
}

std::optional<std::vector<std::string>> SqlQueryEngine::RunSelectIds(KernelDevice& device, std::string_view sql) {
  uint32_t limit = SettingDword(kSqlRowLimitSetting, kDefaultSqlRowLimit);
  CTableSourceKernelDevice source(device);
  CResultTable result;
  if (RunSelectStatement(sql, source, result, limit != 0 ? limit : kDefaultSqlRowLimit) != platform::kSqlStatementSelect)
    return std::nullopt;
  std::vector<std::string> ids;
  ids.reserve(result.size());
  for (const auto& row : result.rows()) {
    if (!row) continue;
    const std::string* id = row->Find("id");
    ids.push_back(id ? *id : std::string());
  }
  return ids;
}

std::optional<std::string> SqlQueryEngine::DescribeFailure(const std::exception& error) const {
  if (const auto* sql = dynamic_cast<const CKestroSQLException*>(&error)) return sql->GetMessageText();
  return std::nullopt;
}

void InstallSqlQueryEngine() {
  static SqlQueryEngine engine;
  SetQueryEngine(&engine);
}

}  // namespace hub
