// Default handler: no page is served yet.
#include "webserver/handler_default.h"

#include "webserver/http_exception.h"

namespace hub {

void HandlerDefault::HandleRequest(HttpRequest&, HttpConnection&) { throw HttpException(404); }

}  // namespace hub
