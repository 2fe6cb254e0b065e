// The hook through which the device's query operation and the web server's
// search reach the SQL engine, which lives above common/. The program installs
// the engine once at start-up.
#pragma once

#include <exception>
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
  // The engine's full text of a failure RunSelectIds threw (its message and
  // where); nullopt for an exception that is not the engine's own.
  virtual std::optional<std::string> DescribeFailure(const std::exception&) const { return std::nullopt; }
};

// Not owned; nullptr uninstalls. Without an engine, RunQuery answers 0.
void SetQueryEngine(QueryEngine* engine);
QueryEngine* GetQueryEngine();

}  // namespace hub
