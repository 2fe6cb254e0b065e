// Settings under the product's registry key, and the product's temporary and
// other folders. Reads preset the variable with its default and change it only
// when a value was read; a read never creates anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hub {

// 1 when the key exists (the value may still be absent), else 0.
int ReadSettingString(std::string_view name, std::string& value, bool useSharedKey = false);
int ReadSettingDword(std::string_view name, uint32_t& value);
int ReadSettingBinary(std::string_view name, std::string& value);
// Written only into an existing product key; false when nothing was written.
bool WriteSettingString(std::string_view name, std::string_view value);
bool WriteSettingDword(std::string_view name, uint32_t value);
bool WriteSettingBinary(std::string_view name, std::string_view bytes);

// Convenience forms returning the value or the default.
std::string SettingString(std::string_view name, std::string_view defaultValue, bool useSharedKey = false);
uint32_t SettingDword(std::string_view name, uint32_t defaultValue);

// Values longer than this cannot be read (the default stays).
inline constexpr size_t kMaxSettingTextBytes = 1023;

}  // namespace hub
