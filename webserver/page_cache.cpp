// Kept pages and what makes them current.
#include "webserver/page_cache.h"

#include <algorithm>

#include "common/settings.h"
#include "common/track_name.h"

namespace hub {

bool RecordingSkinSource::Load(std::string_view name, std::string& text, std::string& detail) {
  bool found = SkinTemplateSource::Load(name, text, detail);
  reads_.push_back({std::string(name), found, found ? text : detail});
  return found;
}

std::vector<std::string> PageSettings() {
  std::vector<std::string> values;
  for (std::string_view name : {std::string_view("SQL_LastSearchQuery"), kTrackDisplayFormatSetting,
                                kTrackUrlFormatSetting}) {
    std::string value;
    // A missing key reads apart from every stored text.
    values.push_back(ReadSettingString(name, value) != 0 ? "=" + value : std::string());
  }
  return values;
}

std::shared_ptr<const std::string> PageCache::Find(const PageState& state) {
  std::lock_guard lock(mutex_);
  for (Entry& e : entries_) {
    if (!(e.state == state)) continue;
    SkinTemplateSource source;
    bool same = true;
    for (const IncludeRead& read : e.includes) {
      std::string text, detail;
      bool found = false;
      try {
        found = source.Load(read.name, text, detail);
      } catch (const TemplateError&) {
        same = false;
        break;
      }
      if (!(IncludeRead{read.name, found, found ? text : detail} == read)) {
        same = false;
        break;
      }
    }
    if (!same) return nullptr;
    e.lastUse = ++uses_;
    return e.page;
  }
  return nullptr;
}

void PageCache::Store(PageState state, std::vector<IncludeRead> includes, std::shared_ptr<const std::string> page) {
  if (!page || page->size() > kMaxBytes) return;
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) {
    return e.state.changeCount != state.changeCount || (e.state.file == state.file && e.state.variables == state.variables);
  });
  entries_.push_back({std::move(state), std::move(includes), std::move(page), ++uses_});
  auto bytes = [&] {
    size_t total = 0;
    for (const Entry& e : entries_) total += e.page->size();
    return total;
  };
  while (entries_.size() > kMaxPages || bytes() > kMaxBytes) {
    entries_.erase(std::min_element(entries_.begin(), entries_.end(),
                                    [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; }));
  }
}

size_t PageCache::Size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace hub
