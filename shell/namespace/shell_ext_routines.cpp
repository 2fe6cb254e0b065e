// Shared routines of the library. The timed tag read gives every call a job
// of its own, so a worker that outlives its limit writes only into its copy;
// the workers are owned and joined, never left running on their own.
#include "shell/namespace/shell_ext_routines.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "platform/registry/registry.h"
#include "shell/namespace/transfer_services.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
using platform::Hive;
using platform::Registry;
using platform::ValueType;

UserLocale ReadEnvironmentLocale() {
  UserLocale out;
  locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (!loc) return out;
  out.decimalPoint = nl_langinfo_l(RADIXCHAR, loc);
  out.thousandsSeparator = nl_langinfo_l(THOUSEP, loc);
  out.grouping = nl_langinfo_l(GROUPING, loc);
  out.dateFormat = nl_langinfo_l(D_FMT, loc);
  out.timeFormat = nl_langinfo_l(T_FMT, loc);
  freelocale(loc);
  if (out.decimalPoint.empty()) out.decimalPoint = ".";
  return out;
}

// Digits with the separator between groups, sized from the right.
std::string Group(const std::string& digits, const UserLocale& locale) {
  if (locale.thousandsSeparator.empty() || locale.grouping.empty()) return digits;
  std::vector<std::string> parts;
  size_t end = digits.size();
  size_t g = 0;
  int size = 0;
  while (end > 0) {
    if (g < locale.grouping.size()) {
      unsigned char c = static_cast<unsigned char>(locale.grouping[g++]);
      if (c == CHAR_MAX) size = 0;  // no more grouping
      else if (c != 0) size = c;    // 0: the last size repeats
    }
    if (size <= 0 || static_cast<size_t>(size) >= end) break;
    parts.push_back(digits.substr(end - size, size));
    end -= size;
  }
  std::string out = digits.substr(0, end);
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) out += locale.thousandsSeparator + *it;
  return out;
}

std::string Strftime(const std::string& format, const std::tm& tm) {
  if (format.empty()) return {};
  char buffer[256];
  size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &tm);
  return std::string(buffer, n);
}

const std::string& ProductKey() { return TheProductProfile().productRegistryKey; }

bool ProductKeyExists() {
  return !ProductKey().empty() && Registry::Instance().KeyExists(Hive::CurrentUser, ProductKey());
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A desktop entry is a few lines: anything larger is no link, and is not read
// (every file sent is asked whether it is one, songs and films included).
constexpr std::uintmax_t kMaxDesktopEntryBytes = 64 << 10;

// The file: URL of a desktop entry of Type=Link, as a path; empty otherwise.
std::string DesktopLinkTarget(const std::string& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec || size > kMaxDesktopEntryBytes) return {};
  std::ifstream in(file);
  if (!in) return {};
  std::string line, group, type, url;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      group = line;
      continue;
    }
    if (group != "[Desktop Entry]") continue;
    if (line.rfind("Type=", 0) == 0) type = line.substr(5);
    if (line.rfind("URL=", 0) == 0) url = line.substr(4);
  }
  if (type != "Link") return {};
  std::string_view u = url;
  if (u.rfind("file://", 0) == 0) {
    u.remove_prefix(7);
    if (u.rfind("localhost/", 0) == 0) u.remove_prefix(9);
  } else if (u.rfind("file:", 0) == 0) {
    u.remove_prefix(5);
  } else {
    return {};
  }
  if (u.empty() || u.front() != '/') return {};
  return PercentDecode(u);
}

// One timed read: the worker owns it together with the caller.
struct TagReadJob {
  std::string path;
  _AUDIODATA record;
  bool fillFromPath = false;
  bool skipFileTags = false;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int result = 0;
};

// Owns the timed-read workers, those left behind after their limit included.
// A finished worker is joined when the next read starts, the rest when the
// library is unloaded, so no thread outlives the code it runs.
class TimedTagReaders {
 public:
  static TimedTagReaders& Instance() {
    GetTransferServices();  // made first, so the readers' services outlive them
    static TimedTagReaders readers;
    return readers;
  }
  ~TimedTagReaders() {
    std::list<Worker> all;
    {
      std::lock_guard lock(mutex_);
      all.swap(workers_);
    }
    for (Worker& w : all) w.thread.join();
  }

  // False when no thread could be started.
  bool Start(std::shared_ptr<TagReadJob> job) {
    JoinFinished();
    std::lock_guard lock(mutex_);
    auto where = workers_.emplace(workers_.end());
    try {
      where->thread = std::thread([this, where, job] {
        int result = 0;
        try {
          result = ReadTrackTags(job->path, job->record, job->fillFromPath, job->skipFileTags);
        } catch (const std::exception&) {
          result = 0;  // a reader that throws read nothing
        }
        {
          std::lock_guard jobLock(job->mutex);
          job->result = result;
          job->finished = true;
        }
        job->done.notify_all();
        std::lock_guard ownLock(mutex_);
        where->finished = true;
      });
    } catch (const std::system_error&) {
      workers_.erase(where);
      return false;
    }
    return true;
  }

  int Running() {
    std::lock_guard lock(mutex_);
    int running = 0;
    for (const Worker& w : workers_) running += w.finished ? 0 : 1;
    return running;
  }

 private:
  struct Worker {
    std::thread thread;
    bool finished = false;
  };

  void JoinFinished() {
    std::list<Worker> done;
    {
      std::lock_guard lock(mutex_);
      for (auto it = workers_.begin(); it != workers_.end();) {
        auto next = std::next(it);
        if (it->finished) done.splice(done.end(), workers_, it);
        it = next;
      }
    }
    for (Worker& w : done) w.thread.join();
  }

  std::mutex mutex_;
  std::list<Worker> workers_;
};

}  // namespace

const UserLocale& EnvironmentLocale() {
  static const UserLocale locale = ReadEnvironmentLocale();
  return locale;
}

bool TimeToSystemTime(int64_t time, SYSTEMTIME& out) {
  std::time_t t = static_cast<std::time_t>(time);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return false;
  int64_t year = int64_t(tm.tm_year) + 1900;
  if (year < 0 || year > 65535) return false;
  out.wYear = static_cast<uint16_t>(year);
  out.wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
  out.wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
  out.wDay = static_cast<uint16_t>(tm.tm_mday);
  out.wHour = static_cast<uint16_t>(tm.tm_hour);
  out.wMinute = static_cast<uint16_t>(tm.tm_min);
  out.wSecond = static_cast<uint16_t>(tm.tm_sec);
  out.wMilliseconds = 0;
  return true;
}

std::string FormatDateTime(int64_t time, const UserLocale& locale) {
  SYSTEMTIME st;
  if (!TimeToSystemTime(time, st)) return {};
  std::tm tm{};
  tm.tm_year = st.wYear - 1900;
  tm.tm_mon = st.wMonth - 1;
  tm.tm_mday = st.wDay;
  tm.tm_wday = st.wDayOfWeek;
  tm.tm_hour = st.wHour;
  tm.tm_min = st.wMinute;
  tm.tm_sec = st.wSecond;
  return Strftime(locale.dateFormat, tm) + " " + Strftime(locale.timeFormat, tm);
}

std::string FormatNumberGrouped(int32_t number, const UserLocale& locale) {
  int64_t n = number;
  std::string digits = std::to_string(n < 0 ? -n : n);
  return (n < 0 ? "-" : "") + Group(digits, locale);
}

std::string FormatNumberLocale(double value, const UserLocale& locale) {
  if (!std::isfinite(value)) return {};
  int digits = std::clamp(locale.fractionDigits, 0, 9);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, std::fabs(value));
  std::string text = buffer;
  std::string whole = text, fraction;
  if (auto dot = text.find('.'); dot != std::string::npos) {
    whole = text.substr(0, dot);
    fraction = text.substr(dot + 1);
  }
  std::string out = (std::signbit(value) && text.find_first_not_of("0.") != std::string::npos ? "-" : "") +
                    Group(whole, locale);
  if (!fraction.empty()) out += locale.decimalPoint + fraction;
  return out;
}

bool IsNumber(const char* text) {
  if (!text || !*text) return false;
  for (const char* p = text; *p; ++p)
    if (*p < '0' || *p > '9') return false;
  return true;
}

uint32_t WriteRegBinary(std::string_view name, const void* bytes, uint32_t size) {
  if (!ProductKeyExists()) return kErrorFileNotFound;
  std::string_view data(static_cast<const char*>(bytes), bytes ? size : 0);
  return WriteSettingBinary(name, data) ? kErrorSuccess : kErrorRegistryIoFailed;
}

uint32_t DeleteRegValue(std::string_view name) {
  if (!ProductKeyExists()) return kErrorFileNotFound;
  Registry& reg = Registry::Instance();
  if (reg.DeleteValue(Hive::CurrentUser, ProductKey(), name)) return kErrorSuccess;
  // DeleteValue also answers false for a value that was not there.
  return reg.Read(Hive::CurrentUser, ProductKey(), name) ? kErrorRegistryIoFailed : kErrorSuccess;
}

bool ReadRegBinary(std::string_view name, void* buffer, uint32_t& size) {
  if (!ProductKeyExists()) return false;
  auto v = Registry::Instance().Read(Hive::CurrentUser, ProductKey(), name);
  if (!v || v->type != ValueType::Binary) {
    size = 0;
    return true;
  }
  size_t copy = std::min<size_t>(size, v->data.size());
  if (buffer && copy) std::memcpy(buffer, v->data.data(), copy);
  size = static_cast<uint32_t>(std::min<size_t>(v->data.size(), UINT32_MAX));
  return true;
}

int ReadSharedSettingString(std::string_view name, std::string& value) { return ReadSettingString(name, value, true); }

void ShellOpenFile(std::string_view path) { OpenWithShell(path); }

std::string RemoveTrailingBackslash(std::string_view path) {
  if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  return std::string(path);
}

std::string ResolveShortcut(std::string_view shortcut) {
  std::error_code ec;
  fs::path link{std::string(shortcut)};
  std::string target;
  if (fs::is_symlink(fs::symlink_status(link, ec))) {
    target = link.string();
  } else if (fs::is_regular_file(link, ec)) {
    target = DesktopLinkTarget(link.string());
  }
  if (target.empty()) return {};
  fs::path resolved = fs::canonical(target, ec);
  return ec ? std::string() : resolved.string();
}

void CSortableStringArray::Sort() {
  std::stable_sort(begin(), end(), [](const std::string& a, const std::string& b) {
    return AsciiLower(a) < AsciiLower(b);
  });
}

void CSortableStringArray::Shuffle() {
  if (empty()) return;
  // One engine a thread, seeded once: a random_device and a fresh seeding a call cost more than the shuffle.
  static thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> index(0, size() - 1);
  for (size_t round = 0; round < size(); ++round) std::swap((*this)[index(random)], (*this)[index(random)]);
}

int ReadTrackTags(std::string_view path, _AUDIODATA& record, bool fillFromPath, bool skipFileTags) {
  const TransferServices& services = GetTransferServices();
  if (!skipFileTags) {
    services.ReadTrackInfoFromFile(path, record);
    services.TrimTrackTexts(record);
  }
  if (fillFromPath && (record.artist.Get().empty() || record.album.Get().empty() || record.title.Get().empty())) {
    services.TagsFromPath(path, record);
    services.TrimTrackTexts(record);
  }
  return 1;
}

int ReadTagTimed(std::string_view path, _AUDIODATA& record, bool fillFromPath, bool skipFileTags,
                 std::chrono::milliseconds limit) {
  auto job = std::make_shared<TagReadJob>();
  job->path = std::string(path);
  job->record = record;
  job->fillFromPath = fillFromPath;
  job->skipFileTags = skipFileTags;
  if (!TimedTagReaders::Instance().Start(job)) return 0;
  std::unique_lock lock(job->mutex);
  if (!job->done.wait_for(lock, limit, [&] { return job->finished; })) return 0;
  record = job->record;
  return job->result;
}

int TimedTagReadsRunning() { return TimedTagReaders::Instance().Running(); }

}  // namespace hub
