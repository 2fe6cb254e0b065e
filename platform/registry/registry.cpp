// SQLite-backed settings store. WAL mode and a busy time-out let several
// processes read and write at once without losing a write.
#include "platform/registry/registry.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "platform/paths.h"

namespace hub::platform {
namespace {

constexpr int kBusyTimeoutMs = 10000;

// One use of a statement the store keeps prepared: reset when the use ends,
// so no read stays open past the call that made it.
class Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Statement() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return stmt_ != nullptr; }
  Statement& Bind(int i, int v) { sqlite3_bind_int(stmt_, i, v); return *this; }
  Statement& Bind(int i, std::string_view v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int i, std::string_view v) {
    sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  std::string Text(int col) const {
    const unsigned char* t = sqlite3_column_text(stmt_, col);
    return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(stmt_, col)) : std::string();
  }
  std::string Blob(int col) const {
    const void* b = sqlite3_column_blob(stmt_, col);
    return b ? std::string(static_cast<const char*>(b), sqlite3_column_bytes(stmt_, col)) : std::string();
  }
  int Int(int col) const { return sqlite3_column_int(stmt_, col); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

std::string ParentKey(const std::string& key) {
  auto pos = key.rfind('\\');
  return pos == std::string::npos ? std::string() : key.substr(0, pos);
}

}  // namespace

RegistryValue RegistryValue::Dword(uint32_t v) {
  char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
               static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
  return {ValueType::Dword, std::string(b, 4)};
}

bool RegistryValue::GetDword(uint32_t& out) const {
  if (type != ValueType::Dword || data.size() != 4) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  out = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  return true;
}

std::string Registry::DefaultPath() {
  if (const char* v = std::getenv("HUB_REGISTRY"); v && *v) return v;
  return ConfigDir() + "/registry.db";
}

Registry& Registry::Instance() {
  static Registry instance(DefaultPath());
  return instance;
}

Registry::Registry(const std::string& dbPath) {
  if (sqlite3_open_v2(dbPath.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    LogError("settings store", "cannot open " + dbPath + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory") +
                                   "; every setting reads as its default and none is saved");
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=NORMAL");
  Exec("CREATE TABLE IF NOT EXISTS keys(hive INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
       " PRIMARY KEY(hive, path))");
  Exec("CREATE TABLE IF NOT EXISTS vals(hive INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
       " name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB,"
       " PRIMARY KEY(hive, path, name))");
}

Registry::~Registry() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

// Prepared once per store: a transfer reads and writes settings for every file,
// and parsing the SQL each time cost more than running it.
sqlite3_stmt* Registry::Prepared(const char* sql) {
  if (!db_) return nullptr;
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
    LogError("settings store", std::string(sqlite3_errmsg(db_)) + " in: " + sql);
    sqlite3_finalize(stmt);
    return nullptr;
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

bool Registry::Exec(const char* sql) {
  Statement st(Prepared(sql));
  int rc = st.Step();
  while (rc == SQLITE_ROW) rc = st.Step();
  return rc == SQLITE_DONE;
}

std::string Registry::NormalizeKey(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == '/') c = '\\';
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

bool Registry::KeyExistsLocked(Hive hive, const std::string& key) {
  if (key.empty()) return true;  // the hive's root always exists
  Statement st(Prepared("SELECT 1 FROM keys WHERE hive=? AND path=?"));
  st.Bind(1, static_cast<int>(hive)).Bind(2, key);
  return st.Step() == SQLITE_ROW;
}

bool Registry::KeyExists(Hive hive, std::string_view key) {
  if (!db_) return false;
  std::lock_guard lock(mutex_);
  return KeyExistsLocked(hive, NormalizeKey(key));
}

bool Registry::CreateKey(Hive hive, std::string_view keyText) {
  if (!db_) return false;
  std::lock_guard lock(mutex_);
  std::string key = NormalizeKey(keyText);
  if (key.empty()) return true;
  if (!Exec("BEGIN IMMEDIATE")) return false;
  bool ok = true;
  for (std::string k = key; !k.empty() && ok; k = ParentKey(k)) {
    Statement st(Prepared("INSERT OR IGNORE INTO keys(hive, path) VALUES(?, ?)"));
    st.Bind(1, static_cast<int>(hive)).Bind(2, k);
    ok = st.Step() == SQLITE_DONE;
  }
  return Exec(ok ? "COMMIT" : "ROLLBACK") && ok;
}

bool Registry::DeleteKey(Hive hive, std::string_view keyText) {
  if (!db_) return false;
  std::lock_guard lock(mutex_);
  std::string key = NormalizeKey(keyText);
  if (key.empty()) return false;
  if (!Exec("BEGIN IMMEDIATE")) return false;
  // A prefix match on "key\" finds the subkeys; LIKE would treat '_' and '%' as patterns.
  std::string prefix = key + "\\";
  bool ok = true;
  for (const char* sql : {"DELETE FROM keys WHERE hive=?1 AND (path=?2 OR lower(substr(path,1,length(?3)))=lower(?3))",
                          "DELETE FROM vals WHERE hive=?1 AND (path=?2 OR lower(substr(path,1,length(?3)))=lower(?3))"}) {
    Statement st(Prepared(sql));
    st.Bind(1, static_cast<int>(hive)).Bind(2, key).Bind(3, prefix);
    ok = ok && st.Step() == SQLITE_DONE;
  }
  return Exec(ok ? "COMMIT" : "ROLLBACK") && ok;
}

std::vector<std::string> Registry::ListSubkeys(Hive hive, std::string_view keyText) {
  std::vector<std::string> out;
  if (!db_) return out;
  std::lock_guard lock(mutex_);
  std::string key = NormalizeKey(keyText);
  std::string prefix = key.empty() ? std::string() : key + "\\";
  Statement st(Prepared("SELECT path FROM keys WHERE hive=? ORDER BY path COLLATE NOCASE"));
  st.Bind(1, static_cast<int>(hive));
  while (st.Step() == SQLITE_ROW) {
    std::string p = st.Text(0);
    if (p.size() <= prefix.size() || strncasecmp(p.c_str(), prefix.c_str(), prefix.size()) != 0) continue;
    std::string rest = p.substr(prefix.size());
    if (rest.find('\\') == std::string::npos) out.push_back(rest);
  }
  return out;
}

std::optional<RegistryValue> Registry::Read(Hive hive, std::string_view key, std::string_view name) {
  if (!db_) return std::nullopt;
  std::lock_guard lock(mutex_);
  Statement st(Prepared("SELECT type, data FROM vals WHERE hive=? AND path=? AND name=?"));
  st.Bind(1, static_cast<int>(hive)).Bind(2, NormalizeKey(key)).Bind(3, name);
  if (st.Step() != SQLITE_ROW) return std::nullopt;
  return RegistryValue{static_cast<ValueType>(st.Int(0)), st.Blob(1)};
}

bool Registry::Write(Hive hive, std::string_view keyText, std::string_view name, const RegistryValue& value) {
  if (!db_) return false;
  std::lock_guard lock(mutex_);
  std::string key = NormalizeKey(keyText);
  if (!Exec("BEGIN IMMEDIATE")) return false;
  bool ok = KeyExistsLocked(hive, key);
  if (ok) {
    Statement st(Prepared("INSERT OR REPLACE INTO vals(hive, path, name, type, data) VALUES(?, ?, ?, ?, ?)"));
    st.Bind(1, static_cast<int>(hive)).Bind(2, key).Bind(3, name).Bind(4, static_cast<int>(value.type));
    st.BindBlob(5, value.data);
    ok = st.Step() == SQLITE_DONE;
  }
  return Exec(ok ? "COMMIT" : "ROLLBACK") && ok;
}

bool Registry::DeleteValue(Hive hive, std::string_view key, std::string_view name) {
  if (!db_) return false;
  std::lock_guard lock(mutex_);
  Statement st(Prepared("DELETE FROM vals WHERE hive=? AND path=? AND name=?"));
  st.Bind(1, static_cast<int>(hive)).Bind(2, NormalizeKey(key)).Bind(3, name);
  return st.Step() == SQLITE_DONE && sqlite3_changes(db_) > 0;
}

std::vector<std::pair<std::string, RegistryValue>> Registry::ListValues(Hive hive, std::string_view key) {
  std::vector<std::pair<std::string, RegistryValue>> out;
  if (!db_) return out;
  std::lock_guard lock(mutex_);
  Statement st(Prepared("SELECT name, type, data FROM vals WHERE hive=? AND path=? ORDER BY name COLLATE NOCASE"));
  st.Bind(1, static_cast<int>(hive)).Bind(2, NormalizeKey(key));
  while (st.Step() == SQLITE_ROW) {
    out.emplace_back(st.Text(0), RegistryValue{static_cast<ValueType>(st.Int(1)), st.Blob(2)});
  }
  return out;
}

}  // namespace hub::platform
