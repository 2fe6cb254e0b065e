// hubreg: lists, reads and writes values of the per-user settings store.
// It is also the installer of tests and demos (it creates keys).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/registry.h"
#include "platform/program_main.h"

using hub::platform::Hive;
using hub::platform::Registry;
using hub::platform::RegistryValue;
using hub::platform::ValueType;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: hubreg [--hklm] <command> ...\n"
               "  keys <key>                     list subkeys\n"
               "  list <key>                     list values\n"
               "  get <key> <name>               print a value\n"
               "  set <key> <name> <type> <data> type: sz, dword (decimal or 0x), binary (hex)\n"
               "  create <key>                   create a key and its parents\n"
               "  delete <key> [<name>]          delete a value, or the key with everything below it\n");
  return 2;
}

std::string Show(const RegistryValue& v) {
  uint32_t d;
  switch (v.type) {
    case ValueType::Dword:
      if (v.GetDword(d)) return "REG_DWORD " + std::to_string(d);
      return "REG_DWORD (bad size)";
    case ValueType::String:
      return "REG_SZ " + v.data;
    default: {
      std::string hex = "REG_BINARY ";
      char b[4];
      for (unsigned char c : v.data) {
        std::snprintf(b, sizeof b, "%02x", c);
        hex += b;
      }
      return hex;
    }
  }
}

bool ParseHex(std::string_view text, std::string& out) {
  if (text.size() % 2) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    char* end = nullptr;
    std::string byte(text.substr(i, 2));
    long v = std::strtol(byte.c_str(), &end, 16);
    if (*end) return false;
    out += static_cast<char>(v);
  }
  return true;
}

}  // namespace

static int Main(int argc, char** argv) {
  int i = 1;
  Hive hive = Hive::CurrentUser;
  if (i < argc && std::string_view(argv[i]) == "--hklm") {
    hive = Hive::LocalMachine;
    ++i;
  }
  if (i >= argc) return Usage();
  std::string_view cmd = argv[i++];
  int rest = argc - i;
  Registry& reg = Registry::Instance();
  if (!reg.ok()) {
    std::fprintf(stderr, "hubreg: cannot open %s\n", Registry::DefaultPath().c_str());
    return 1;
  }
  if (cmd == "keys" && rest == 1) {
    for (const auto& k : reg.ListSubkeys(hive, argv[i])) std::printf("%s\n", k.c_str());
    return 0;
  }
  if (cmd == "list" && rest == 1) {
    if (!reg.KeyExists(hive, argv[i])) {
      std::fprintf(stderr, "hubreg: no key %s\n", argv[i]);
      return 1;
    }
    for (const auto& [name, value] : reg.ListValues(hive, argv[i]))
      std::printf("%s\t%s\n", name.empty() ? "(default)" : name.c_str(), Show(value).c_str());
    return 0;
  }
  if (cmd == "get" && rest == 2) {
    auto v = reg.Read(hive, argv[i], argv[i + 1]);
    if (!v) {
      std::fprintf(stderr, "hubreg: no value %s in %s\n", argv[i + 1], argv[i]);
      return 1;
    }
    uint32_t d;
    if (v->GetDword(d)) std::printf("%u\n", d);
    else if (v->type == ValueType::String) std::printf("%s\n", v->data.c_str());
    else std::printf("%s\n", Show(*v).c_str() + 11);
    return 0;
  }
  if (cmd == "set" && rest == 4) {
    std::string_view type = argv[i + 2];
    std::string data = argv[i + 3];
    RegistryValue v;
    if (type == "sz") {
      v = RegistryValue::String(data);
    } else if (type == "dword") {
      char* end = nullptr;
      unsigned long long n = std::strtoull(data.c_str(), &end, 0);
      if (data.empty() || *end || n > 0xFFFFFFFFull) return Usage();
      v = RegistryValue::Dword(static_cast<uint32_t>(n));
    } else if (type == "binary") {
      std::string bytes;
      if (!ParseHex(data, bytes)) return Usage();
      v = RegistryValue::Binary(bytes);
    } else {
      return Usage();
    }
    if (!reg.Write(hive, argv[i], argv[i + 1], v)) {
      std::fprintf(stderr, "hubreg: cannot write %s: the key does not exist\n", argv[i]);
      return 1;
    }
    return 0;
  }
  if (cmd == "create" && rest == 1) return reg.CreateKey(hive, argv[i]) ? 0 : 1;
  if (cmd == "delete" && rest == 1) return reg.DeleteKey(hive, argv[i]) ? 0 : 1;
  if (cmd == "delete" && rest == 2) return reg.DeleteValue(hive, argv[i], argv[i + 1]) ? 0 : 1;
  return Usage();
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
