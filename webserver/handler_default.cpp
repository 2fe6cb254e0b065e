// Default handler: skin files and template pages.
#include "webserver/handler_default.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/kernel_device.h"
#include "common/product_profile.h"
#include "common/text.h"
#include "platform/unique_fd.h"
#include "webserver/http_exception.h"
#include "webserver/http_response.h"
#include "webserver/http_server.h"
#include "webserver/page_cache.h"
#include "webserver/request_variables.h"
#include "webserver/skins.h"
#include "webserver/template_file.h"
#include "webserver/template_text.h"

namespace hub {
namespace {

std::string NotConnectedText() {
  const ProductProfile& p = TheProductProfile();
  return "Your " + HtmlEscape(p.deviceLabel) + " is not connected. Connect using " + HtmlEscape(p.managerName) +
         " in the systray.";
}

std::string NoIndexText() {
  const ProductProfile& p = TheProductProfile();
  return HtmlEscape(p.webServerName) +
         " could not load the main <code>index.html</code> page of the currently selected skin.<br>Please check "
         "your skin setting in the " +
         HtmlEscape(p.managerName) + " options dialog.";
}

std::string ExtensionOf(const std::string& path) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot);
}

std::string ReadPage(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) throw HttpException(500, "Could not read the page.");
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > kMaxPageBytes) throw HttpException(500, "Could not process tags embedded in the page.");
  }
  return text;
}

}  // namespace

void HandlerDefault::HandleRequest(HttpRequest& request, HttpConnection& connection) {
  KernelDevice* device = Server()->Device();
  if (!device) throw HttpException(404);
  {
    auto lock = device->TryLockFor(lockWait_);
    if (!lock.owns_lock()) throw HttpException(503, "Thread timed out.");
    if (device->IsConnected() == 0) throw HttpException(503, NotConnectedText());
  }

  // A new skin is chosen before the path is resolved, so this page is already of it.
  VariableMap pairs = QueryPairs(request.path);
  if (auto it = pairs.find("newskin"); it != pairs.end()) SelectSkin(it->second);

  std::string path = request.path.substr(0, request.path.find('?'));
  if (path.ends_with('/')) path += "index.html";
  std::string cleaned;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path.compare(i, 2, "..") == 0) {
      ++i;
      continue;
    }
    cleaned.push_back(path[i]);
  }
  std::string relative = cleaned.empty() ? cleaned : cleaned.substr(1);
  std::string file;
  if (!ResolveSkinFile(relative, file)) throw HttpException(404, HtmlEscape(file));
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) throw HttpException(404, NoIndexText());
  if (S_ISDIR(st.st_mode)) {
    file += "/index.html";
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) throw HttpException(500, NoIndexText());
  }
  if (!S_ISREG(st.st_mode)) throw HttpException(404, NoIndexText());

  std::string extension = ExtensionOf(file);
  int typeId = MimeIdForExtension(extension);
  if (request.method != kMethodGet && request.method != kMethodHead && request.method != kMethodTrace) {
    throw HttpException(500, "Invalid HTTP method.");
  }
  if (request.method == kMethodTrace) {
    WriteResponseHead(request, connection, 200, BodyExtent{static_cast<int64_t>(request.raw.size())}, typeId, "");
    connection.Send(request.raw);
    return;
  }
  bool isPage = extension == ".html" || extension == ".htm" || extension == ".m3u";
  platform::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd || ::fstat(fd.get(), &st) != 0) throw HttpException(404, NoIndexText());
  if (!isPage) {
    WriteResponseHead(request, connection, 200, BodyExtent{static_cast<int64_t>(st.st_size)}, typeId, "");
    if (request.method == kMethodGet) connection.SendFile(fd.get(), 0, static_cast<size_t>(st.st_size));
    return;
  }
  if (request.method == kMethodHead) {
    WriteResponseHead(request, connection, 200, BodyExtent{}, typeId, "");
    return;
  }

  std::string text = ReadPage(fd.get());
  std::shared_ptr<const std::string> page;
  {
    auto lock = device->TryLockFor(lockWait_);
    if (!lock.owns_lock()) throw HttpException(503, "Thread timed out.");
    RecordingSkinSource source;
    PageEnvironment environment{&source, Server()->Streams()};
    VariableMap variables;
    PageState state;
    TemplateOutput output;
    bool whole = false;
    try {
      SetRequestVariables(*device, request, variables);
      state = PageState{file, std::move(text), variables, PageSettings(), device->DeviceChangeCount()};
      page = pages_.Find(state);
      if (!page) {
        TemplateFile(relative, environment).Run(state.text, output, variables, *device);
        whole = true;
      }
    } catch (const HttpException&) {
      throw;
    } catch (const TemplateError& e) {
      throw HttpException(500, "Could not process tags embedded in the page.<br>" + HtmlEscape(Utf8Cut(e.what(), 255)));
    } catch (const std::bad_alloc&) {
      throw HttpException(500, "Could not process tags embedded in the page.<br>Out of memory.");
    } catch (const std::exception&) {
      // A device failure ends the page where it stood; what it wrote is sent.
    }
    if (!page) {
      page = std::make_shared<const std::string>(std::move(output.Text()));
      if (whole && environment.keepable) pages_.Store(std::move(state), source.Reads(), page);
    }
  }
  WriteResponseHead(request, connection, 200, BodyExtent{static_cast<int64_t>(page->size())}, typeId, "");
  connection.Send(*page);
}

}  // namespace hub
