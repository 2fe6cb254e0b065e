// Feeds arbitrary bytes to the request parser and the range and path readers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "webserver/byte_range.h"
#include "webserver/http_exception.h"
#include "webserver/http_request.h"
#include "webserver/item_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // As sent, and completed with a blank line so that random input reaches the header parser.
  for (const std::string& input : {std::string(bytes), std::string(bytes) + "\r\n\r\n"}) {
    hub::HttpRequest request;
    try {
      request.Parse(input);
      hub::ChooseByteRange(request.Header("range"), 1000);
      hub::ItemPath item;
      hub::ParseItemPath(request.path, "/stream/", item);
    } catch (const hub::HttpException&) {
    }
  }
  hub::ChooseByteRange(bytes, static_cast<int64_t>(size));
  return 0;
}
