// Small routines the folder, view, menu and transfer code of the library share:
// locale texts, registry values of other types, shortcuts, the shared program
// folder, text arrays and the reading of a file's tags with a time limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"

namespace hub {

// The number and time conventions the texts follow. The environment's comes
// from LC_NUMERIC and LC_TIME; tests hand in their own.
struct UserLocale {
  std::string decimalPoint = ".";
  std::string thousandsSeparator;
  std::string grouping;  // as localeconv: sizes from the right, CHAR_MAX ends, the last repeats
  int fractionDigits = 2;
  std::string dateFormat = "%m/%d/%y";  // strftime forms
  std::string timeFormat = "%H:%M:%S";
};
// Read once from the environment (glibc's LC_NUMERIC names no digit count: 2).
const UserLocale& EnvironmentLocale();

struct SYSTEMTIME {
  uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

// Local time; false (output untouched) when the time cannot be converted.
bool TimeToSystemTime(int64_t time, SYSTEMTIME& out);
// "<date> <time>" in the locale's forms; empty when the time cannot be converted.
std::string FormatDateTime(int64_t time, const UserLocale& locale = EnvironmentLocale());
// The number with the locale's digit grouping and no fractional part.
std::string FormatNumberGrouped(int32_t number, const UserLocale& locale = EnvironmentLocale());
// The value grouped, with the locale's fractional digits.
std::string FormatNumberLocale(double value, const UserLocale& locale = EnvironmentLocale());

// False for a null or empty text; true when every character is a decimal digit.
bool IsNumber(const char* text);

// Registry result codes.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;         // no product key
inline constexpr uint32_t kErrorRegistryIoFailed = 1016;  // the store failed

// Values of the product key. Writes and deletes answer the store's failure;
// a missing value is no failure for a delete.
uint32_t WriteRegBinary(std::string_view name, const void* bytes, uint32_t size);
uint32_t DeleteRegValue(std::string_view name);
// False (size untouched) without the product key. A binary value: at most
// `size` bytes are copied and `size` is set to the stored size, so a caller
// sees a value larger than its buffer and clamps. Otherwise size 0.
bool ReadRegBinary(std::string_view name, void* buffer, uint32_t& size);
// ReadSettingString on the shared key.
int ReadSharedSettingString(std::string_view name, std::string& value);

// Opens a document, folder or address with the desktop (result ignored).
void ShellOpenFile(std::string_view path);

// Without one final separator ("/" or "\"); the root "/" stays.
std::string RemoveTrailingBackslash(std::string_view path);

// The target of a symbolic link or of a desktop entry of Type=Link with a
// file: URL; empty when the link leads nowhere or the file is no shortcut.
std::string ResolveShortcut(std::string_view shortcut);

// GetSharedProgramFolder and LibraryHandle: shell/transfer/metadata/library_handle.h.

// A text array that sorts case-insensitively and shuffles.
class CSortableStringArray : public std::vector<std::string> {
 public:
  using std::vector<std::string>::vector;
  void Sort();
  // size() swaps of two indexes drawn uniformly.
  void Shuffle();
};

// Reads the file's tags into the record (unless skipFileTags), trims the texts,
// then fills an empty artist, album or title from the path when fillFromPath is
// set. Answers 1.
int ReadTrackTags(std::string_view path, _AUDIODATA& record, bool fillFromPath, bool skipFileTags);

// ReadTrackTags on a worker of its own, for readers that hang on damaged files.
// The worker fills a private copy, copied back only when it ends within the
// limit; otherwise 0 and the caller's record stays as it was.
inline constexpr std::chrono::milliseconds kTagReadTimeLimit{5000};
int ReadTagTimed(std::string_view path, _AUDIODATA& record, bool fillFromPath, bool skipFileTags,
                 std::chrono::milliseconds limit = kTagReadTimeLimit);
// Timed-read workers still running (those left behind after their limit included).
int TimedTagReadsRunning();

}  // namespace hub
