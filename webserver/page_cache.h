// Pages kept for sending again. What a page shows depends on its files, its
// starting variables, the few settings a run reads and the device. A page
// that ran no queue command, search or skin list is sent again while all of
// these are unchanged; the device's part is its change count.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "webserver/template_file.h"

namespace hub {

// One load of an include file as a run saw it.
struct IncludeRead {
  std::string name;
  bool found = false;
  std::string text;  // the file's text, or the detail when not found
  bool operator==(const IncludeRead&) const = default;
};

// The skin's include files, each load noted: a kept page is current while
// every load gives the same answer again.
class RecordingSkinSource : public SkinTemplateSource {
 public:
  bool Load(std::string_view name, std::string& text, std::string& detail) override;
  const std::vector<IncludeRead>& Reads() const { return reads_; }

 private:
  std::vector<IncludeRead> reads_;
};

// What a page run starts from, besides its include files.
struct PageState {
  std::string file;                   // the resolved page file
  std::string text;                   // its text
  VariableMap variables;              // the starting variables
  std::vector<std::string> settings;  // the settings a run reads (PageSettings)
  uint64_t changeCount = 0;           // the device's
  bool operator==(const PageState&) const = default;
};

// The values of the settings a page run reads: the last search query and the
// track name patterns.
std::vector<std::string> PageSettings();

class PageCache {
 public:
  static constexpr size_t kMaxPages = 8;
  static constexpr size_t kMaxBytes = size_t{32} << 20;

  // The kept page of `state` whose include files still read the same, or null.
  std::shared_ptr<const std::string> Find(const PageState& state);
  // Keeps `page`; pages of an older change count go (they can never match
  // again), then the least recently used beyond the bounds.
  void Store(PageState state, std::vector<IncludeRead> includes, std::shared_ptr<const std::string> page);
  size_t Size() const;

 private:
  struct Entry {
    PageState state;
    std::vector<IncludeRead> includes;
    std::shared_ptr<const std::string> page;
    uint64_t lastUse = 0;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  uint64_t uses_ = 0;
};

}  // namespace hub
