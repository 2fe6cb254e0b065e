// Request variables of a page.
#include "webserver/request_variables.h"

#include <locale.h>

#include <ctime>

#include "common/kernel_device.h"
#include "common/text.h"
#include "common/version.h"
#include "webserver/http_response.h"
#include "webserver/template_text.h"

namespace hub {
namespace {

// Today as "%A, %B %d, %Y" in the C locale, whatever the process's locale.
std::string Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[128] = {};
  locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  if (c) {
    strftime_l(text, sizeof text, "%A, %B %d, %Y", &local, c);
    freelocale(c);
  }
  return text;
}

}  // namespace

VariableMap QueryPairs(std::string_view path) {
  VariableMap pairs;
  size_t q = path.find('?');
  if (q == std::string_view::npos) return pairs;
  std::string query(path.substr(q + 1));
  for (char& c : query) {
    if (c == '+') c = ' ';
  }
  size_t pos = 0;
  while (pos <= query.size()) {
    size_t amp = query.find('&', pos);
    if (amp == std::string::npos) amp = query.size();
    std::string_view piece = std::string_view(query).substr(pos, amp - pos);
    size_t eq = piece.find('=');
    if (eq != std::string_view::npos) pairs[std::string(piece.substr(0, eq))] = PassableDecode(piece.substr(eq + 1));
    pos = amp + 1;
  }
  return pairs;
}

void SetRequestVariables(KernelDevice& device, const HttpRequest& request, VariableMap& v) {
  std::string host = TrimBlanks(request.Header("host"));
  if (host.empty()) host = request.localAddress + ":" + std::to_string(request.localPort);
  v["hostname"] = HtmlEscape(host);
  v["devname"] = HtmlEscape(device.GetModelName());
  v["devowner"] = HtmlEscape(device.GetOwnerName());
  v["devhw"] = HtmlEscape(device.GetHardwareVersion());
  v["devfw"] = HtmlEscape(device.GetFirmwareVersion());
  v["stortotal"] = std::to_string(device.GetStorageTotalKB() / 1024);
  v["storfree"] = std::to_string(device.GetStorageFreeKB() / 1024);
  v["date"] = Today();
  static const std::string version = GetModuleVersionString();
  v["kestwebver"] = HtmlEscape(version);
  v["volume"] = std::to_string(device.GetVolume());
  bool paused = device.IsPaused() != 0;
  v["paused"] = paused ? "Paused" : "Not Paused";
  v["pausedcode"] = paused ? "q_paused" : "q_notpaused";
  for (const auto& [name, value] : QueryPairs(request.path)) {
    v[name] = HtmlEscape(value);
    v[name + "_passable"] = PassableForLink(value);
  }
  auto get = [&](const char* name) {
    auto it = v.find(name);
    return it == v.end() ? std::string() : it->second;
  };
  std::string kind = get("larg1");
  if (kind == "quick") v["slast_quick"] = get("larg2");
  if (kind == "simple") {
    v["slast_simple_artist"] = get("larg2");
    v["slast_simple_album"] = get("larg3");
    v["slast_simple_title"] = get("larg4");
    v["slast_simple_genre"] = get("larg5");
  }
  if (kind == "advanced") v["slast_advanced"] = get("larg2");
}

}  // namespace hub
