// Settings store standing in for the registry: one SQLite database per user,
// shared safely by every process. Reads never create anything; values are
// written only into keys that exist, as on Windows (the installer creates keys).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace hub::platform {

enum class Hive { CurrentUser = 0, LocalMachine = 1 };

// Value kinds keep the Windows numbers, so tools and records agree on them.
enum class ValueType : uint32_t { String = 1, Binary = 3, Dword = 4 };

struct RegistryValue {
  ValueType type = ValueType::String;
  std::string data;  // raw bytes: text without terminator, 4 little-endian bytes, or a blob

  static RegistryValue String(std::string_view text) { return {ValueType::String, std::string(text)}; }
  static RegistryValue Dword(uint32_t v);
  static RegistryValue Binary(std::string_view bytes) { return {ValueType::Binary, std::string(bytes)}; }
  // The value as a DWORD; false when it is not a 4-byte DWORD.
  bool GetDword(uint32_t& out) const;
};

class Registry {
 public:
  // The per-user store: $HUB_REGISTRY, else <config dir>/registry.db.
  static Registry& Instance();
  static std::string DefaultPath();

  explicit Registry(const std::string& dbPath);
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  bool ok() const { return db_ != nullptr; }

  // Key paths use "\" (or "/") between parts and match case-insensitively.
  bool KeyExists(Hive hive, std::string_view key);
  bool CreateKey(Hive hive, std::string_view key);  // parents too; an existing key is no error
  bool DeleteKey(Hive hive, std::string_view key);  // with its subkeys and values
  std::vector<std::string> ListSubkeys(Hive hive, std::string_view key);

  std::optional<RegistryValue> Read(Hive hive, std::string_view key, std::string_view name);
  // False when the key does not exist or the store cannot be written.
  bool Write(Hive hive, std::string_view key, std::string_view name, const RegistryValue& value);
  bool DeleteValue(Hive hive, std::string_view key, std::string_view name);
  std::vector<std::pair<std::string, RegistryValue>> ListValues(Hive hive, std::string_view key);

  static std::string NormalizeKey(std::string_view key);

 private:
  bool Exec(const char* sql);
  // The store's prepared statement for `sql` (under the mutex); null on error.
  sqlite3_stmt* Prepared(const char* sql);
  bool KeyExistsLocked(Hive hive, const std::string& key);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*, std::less<>> statements_;
};

}  // namespace hub::platform
