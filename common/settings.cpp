// Settings routines over the per-user registry store.
#include "common/settings.h"

#include "common/product_profile.h"
#include "platform/registry/registry.h"

namespace hub {
namespace {

using platform::Hive;
using platform::Registry;
using platform::RegistryValue;
using platform::ValueType;

const std::string& ProductKey() { return TheProductProfile().productRegistryKey; }

}  // namespace

int ReadSettingString(std::string_view name, std::string& value, bool useSharedKey) {
  const std::string& key = useSharedKey ? TheProductProfile().sharedRegistryKey : ProductKey();
  Registry& reg = Registry::Instance();
  if (key.empty() || !reg.KeyExists(Hive::CurrentUser, key)) return 0;
  auto v = reg.Read(Hive::CurrentUser, key, name);
  if (v && v->type == ValueType::String && v->data.size() <= kMaxSettingTextBytes) {
    // A stored terminator (as REG_SZ carries) is not part of the text.
    std::string text = v->data;
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    value = text;
  }
  return 1;
}

int ReadSettingDword(std::string_view name, uint32_t& value) {
  Registry& reg = Registry::Instance();
  if (ProductKey().empty() || !reg.KeyExists(Hive::CurrentUser, ProductKey())) return 0;
  auto v = reg.Read(Hive::CurrentUser, ProductKey(), name);
  uint32_t d;
  if (v && v->GetDword(d)) value = d;
  return 1;
}

int ReadSettingBinary(std::string_view name, std::string& value) {
  Registry& reg = Registry::Instance();
  if (ProductKey().empty() || !reg.KeyExists(Hive::CurrentUser, ProductKey())) return 0;
  auto v = reg.Read(Hive::CurrentUser, ProductKey(), name);
  if (v && v->type == ValueType::Binary) value = v->data;
  return 1;
}

bool WriteSettingString(std::string_view name, std::string_view value) {
  return Registry::Instance().Write(Hive::CurrentUser, ProductKey(), name, RegistryValue::String(value));
}

bool WriteSettingDword(std::string_view name, uint32_t value) {
  return Registry::Instance().Write(Hive::CurrentUser, ProductKey(), name, RegistryValue::Dword(value));
}

bool WriteSettingBinary(std::string_view name, std::string_view bytes) {
  return Registry::Instance().Write(Hive::CurrentUser, ProductKey(), name, RegistryValue::Binary(bytes));
}

std::string SettingString(std::string_view name, std::string_view defaultValue, bool useSharedKey) {
  std::string v(defaultValue);
  ReadSettingString(name, v, useSharedKey);
  return v;
}

uint32_t SettingDword(std::string_view name, uint32_t defaultValue) {
  uint32_t v = defaultValue;
  ReadSettingDword(name, v);
  return v;
}

}  // namespace hub
