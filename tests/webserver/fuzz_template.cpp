// Feeds arbitrary bytes to the template language: as a page with an
// in-memory skin (the page itself and a second file it may include) run on
// an in-memory player, and as query pairs through the passable decoder.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "testdevice/memory_device.h"
#include "webserver/request_variables.h"
#include "webserver/template_file.h"
#include "webserver/template_text.h"

namespace {

class FuzzSource : public hub::TemplateSource {
 public:
  std::string page;
  bool Load(std::string_view name, std::string& text, std::string& detail) override {
    detail = std::string(name);
    if (name != "page.html" && name != "other.html") return false;
    text = name == "page.html" ? page : "<?set(a,b)?><?print(a)?>";
    return true;
  }
};

hub::test::MemoryDevice& Device() {
  static hub::test::MemoryDevice* device = [] {
    // Searches store their statement: never in the user's own settings.
    static char folder[] = "/tmp/fuzz_template.XXXXXX";
    if (::mkdtemp(folder)) ::setenv("HUB_REGISTRY", (std::string(folder) + "/registry.db").c_str(), 1);
    auto* d = new hub::test::MemoryDevice();
    d->logCalls = false;
    hub::KernelId a = d->AddTrack("Artist", "Album", "Title", 1, "Genre");
    hub::KernelId b = d->AddTrack("<b>", "'", "\"", 2, "&");
    d->AddPlaylist("List", {a, b});
    d->EnqueueTrack(a);
    return d;
  }();
  return *device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FuzzSource source;
  source.page = std::string(bytes);
  hub::PageEnvironment environment{&source, nullptr};
  hub::VariableMap variables = hub::QueryPairs("/p?" + std::string(bytes));
  // Bounded output: a page that grows without end is a TemplateError.
  hub::TemplateOutput output(1 << 20, 100000);
  Device().ClearQueue();
  try {
    hub::TemplateFile("page.html", environment).Run(bytes, output, variables, Device());
  } catch (const hub::TemplateError&) {
  }
  std::string decoded = hub::PassableDecode(bytes);
  (void)hub::HtmlUnescape(decoded);
  return 0;
}
