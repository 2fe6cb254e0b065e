// The installed SQL engine, if any.
#include "common/query_engine.h"

#include <atomic>

namespace hub {
namespace {
std::atomic<QueryEngine*> g_engine{nullptr};
}  // namespace

void SetQueryEngine(QueryEngine* engine) { g_engine.store(engine); }
QueryEngine* GetQueryEngine() { return g_engine.load(); }

}  // namespace hub
