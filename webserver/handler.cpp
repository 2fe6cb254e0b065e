// Prefix scoring of handlers.
#include "webserver/handler.h"

namespace hub {

int Handler::Match(const HttpRequest& request) const {
  const std::string& prefix = GetPrefix();
  if (request.path.compare(0, prefix.size(), prefix) == 0 && request.path.size() >= prefix.size()) {
    return static_cast<int>(prefix.size());
  }
  return -1;
}

}  // namespace hub
