// The hook through which the device's query operation reaches the SQL engine,
// which lives above common/. The engine installs itself once at start-up.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hub {

class KernelDevice;

class QueryEngine {
 public:
  virtual ~QueryEngine() = default;
  // Runs a SELECT over the device's tables and returns the "id" column text of
  // every non-empty result row, in row order. nullopt when the text is not a
  // SELECT statement or the parser is unavailable; throws on any SQL failure.
  // Called with the device's lock held.
  virtual std::optional<std::vector<std::string>> RunSelectIds(KernelDevice& device, std::string_view sql) = 0;
};

// Not owned; nullptr uninstalls. Without an engine, RunQuery answers 0.
void SetQueryEngine(QueryEngine* engine);
QueryEngine* GetQueryEngine();

}  // namespace hub
