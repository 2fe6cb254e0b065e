// The SQL engine behind the device's query operation.
#include "sql/sql_query_engine.h"

#include "sql/select_statement.h"

namespace hub {

std::optional<std::vector<std::string>> SqlQueryEngine::RunSelectIds(KernelDevice& device, std::string_view sql) {
  CTableSourceKernelDevice source(device);
  CResultTable result;
  if (RunSelectStatement(sql, source, result) != platform::kSqlStatementSelect) return std::nullopt;
  std::vector<std::string> ids;
  ids.reserve(result.size());
  for (const auto& row : result.rows()) {
    if (!row) continue;
    const std::string* id = row->Find("id");
    ids.push_back(id ? *id : std::string());
  }
  return ids;
}

void InstallSqlQueryEngine() {
  static SqlQueryEngine engine;
  SetQueryEngine(&engine);
}

}  // namespace hub
