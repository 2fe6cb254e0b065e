#include "webserver/http_request.h"

#include <gtest/gtest.h>

#include "webserver/byte_range.h"
#include "webserver/handler.h"
#include "webserver/http_exception.h"
#include "webserver/item_path.h"

namespace hub {
namespace {

int ParseStatus(const std::string& bytes) {
  HttpRequest r;
  try {
    r.Parse(bytes);
    return 0;
  } catch (const HttpException& e) {
    return e.Status();
  }
}

TEST(HttpRequestTest, RequestLineCases) {
  struct Case {
    const char* bytes;
    int status;
  } cases[] = {
      {"get /a http/1.0\r\n\r\n", 0},
      {"GET /a HTTP/1.1\r\nHost: x\r\n\r\nbody after the blank line", 0},
      {"GET /a HTTP/0\r\n\r\n", 400},
      {"GET /a FTP/1.0\r\n\r\n", 400},
      {"GET /a\r\n\r\n", 400},
      {"GET /a HTTP/1.1 extra\r\n\r\n", 400},
      {"BREW /a HTTP/1.1\r\n\r\n", 405},
      {"GET /a%00b HTTP/1.1\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\n", 400},
      {"\r\n\r\n", 400},
      {"", 400},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseStatus(c.bytes), c.status) << c.bytes;
}

TEST(HttpRequestTest, HostAndLineEndRules) {
  struct Case {
    const char* bytes;
    int status;
  } cases[] = {
      {"GET /a HTTP/1.1\r\n\r\n", 400},
      {"GET /a HTTP/1.0\r\n\r\n", 0},
      {"GET /a HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400},
      {"GET /a HTTP/1.0\r\nHost: a\r\nhost: a\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\nHost : a\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\nHost: a\r\nX-Y\t: 1\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\nHost: a\r\nX-Y: 1\r\n folded\r\n\r\n", 400},
      {"GET /a HTTP/1.1\nHost: a\n\n", 0},
      {"GET /a HTTP/1.1\r\nHost: a\n\r\n", 0},
      {"GET /a HTTP/1.1\rHost: a\r\n\r\n", 400},
      {"GET /a HTTP/1.1\r\nHost: a\rX: 1\r\n\r\n", 400},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseStatus(c.bytes), c.status) << c.bytes;
  HttpRequest r;
  r.Parse("GET /a HTTP/1.1\nHost: h:1\nX: y\n\nbody");
  EXPECT_EQ(r.Header("host"), "h:1");
  EXPECT_EQ(r.Header("x"), "y");
}

TEST(HttpRequestTest, HeadersAreTrimmedLowerCasedAndKeepColons) {
  HttpRequest r;
  r.Parse("GET  /x HTTP/1.1\r\nHost:  example:8049 \r\nX-A: 1\r\nx-a: 2\r\nnocolon\r\n\r\ntail");
  EXPECT_EQ(r.method, kMethodGet);
  EXPECT_EQ(r.path, " /x");  // two blanks: the second starts the target
  EXPECT_FLOAT_EQ(r.version, 1.1f);
  EXPECT_EQ(r.Header("host"), "example:8049");
  EXPECT_EQ(r.Header("x-a"), "2");
  EXPECT_EQ(r.headers.size(), 2u);
  EXPECT_EQ(r.raw.substr(r.raw.size() - 4), "tail");
}

TEST(HttpRequestTest, TargetIsDecodedWithoutDotSegments) {
  struct Case {
    const char* target;
    const char* path;
  } cases[] = {
      {"/a%20b", "/a b"},
      {"/a/../../etc/passwd", "/etc/passwd"},
      {"/a/%2e%2e/b", "/b"},
      {"/a/./b/.", "/a/b/"},
      {"/x%zz", "/x%zz"},
      {"/x%4", "/x%4"},
      {"/p?q=%41/../", "/p?q=A/../"},
      {"/stream/1/caf%C3%A9.mp3", "/stream/1/caf\xC3\xA9.mp3"},
  };
  for (const auto& c : cases) {
    std::string path;
    ASSERT_TRUE(DecodeRequestTarget(c.target, path)) << c.target;
    EXPECT_EQ(path, c.path) << c.target;
  }
}

TEST(HttpRequestTest, MethodTableIsCaseInsensitive) {
  EXPECT_EQ(MethodIdForName("trace"), kMethodTrace);
  EXPECT_EQ(MethodIdForName("Unlink"), kMethodUnlink);
  EXPECT_EQ(MethodIdForName("PATCH"), kMethodUnknown);
  EXPECT_EQ(MethodNameForId(3), "HEAD");
  EXPECT_EQ(MethodNameForId(9), "");
}

class PrefixHandler : public Handler {
 public:
  using Handler::Handler;
  void HandleRequest(HttpRequest&, HttpConnection&) override {}
};

TEST(HandlerTest, PrefixScores) {
  PrefixHandler stream("stream", nullptr);
  PrefixHandler any(nullptr);
  HttpRequest r;
  r.path = "/stream/12/x.mp3";
  EXPECT_EQ(stream.Match(r), 8);
  EXPECT_EQ(any.Match(r), 0);
  r.path = "/streams";
  EXPECT_EQ(stream.Match(r), -1);
}

TEST(ByteRangeTest, SingleRangesPerRfc9110) {
  using K = ByteRangeChoice;
  struct Case {
    const char* header;
    int64_t size;
    K::Kind kind;
    int64_t first, last;
  } cases[] = {
      {"bytes=500-", 1000, K::Satisfied, 500, 999},
      {"bytes=500-999", 1000, K::Satisfied, 500, 999},
      {"bytes=500-5000", 1000, K::Satisfied, 500, 999},
      {"bytes=-300", 1000, K::Satisfied, 700, 999},
      {"bytes=-3000", 1000, K::Satisfied, 0, 999},
      {"BYTES = 0-0", 1000, K::Satisfied, 0, 0},
      {"bytes=1000-", 1000, K::Unsatisfiable, 0, -1},
      {"bytes=-0", 1000, K::Unsatisfiable, 0, -1},
      {"bytes=0-", 0, K::Unsatisfiable, 0, -1},
      {"bytes=0-1,5-6", 1000, K::Whole, 0, -1},
      {"bytes=9-5", 1000, K::Whole, 0, -1},
      {"bytes=abc", 1000, K::Whole, 0, -1},
      {"items=0-5", 1000, K::Whole, 0, -1},
      {"bytes=99999999999999999999-", 1000, K::Whole, 0, -1},
      {"bytes=5000000000-5000000009", 6000000000, K::Satisfied, 5000000000, 5000000009},
      {"bytes=0-", -1, K::Whole, 0, -1},
  };
  for (const auto& c : cases) {
    ByteRangeChoice r = ChooseByteRange(c.header, c.size);
    EXPECT_EQ(r.kind, c.kind) << c.header;
    if (c.kind == K::Satisfied) {
      EXPECT_EQ(r.first, c.first) << c.header;
      EXPECT_EQ(r.last, c.last) << c.header;
    }
  }
}

TEST(ItemPathTest, IdsNamesAndUnsafeExtensions) {
  ItemPath item;
  ASSERT_TRUE(ParseItemPath("/stream/18446744073709551615/Song.MP3?x=1", "/stream/", item));
  EXPECT_EQ(item.id, 18446744073709551615ull);
  EXPECT_EQ(item.name, "Song.MP3");
  EXPECT_EQ(item.extension, ".mp3");
  EXPECT_FALSE(ParseItemPath("/stream/18446744073709551616/a.mp3", "/stream/", item));
  EXPECT_FALSE(ParseItemPath("/stream/12a/a.mp3", "/stream/", item));
  EXPECT_FALSE(ParseItemPath("/stream/a.mp3", "/stream/", item));
  EXPECT_FALSE(ParseItemPath("/data/1/a.m p3", "/data/", item));
  EXPECT_FALSE(ParseItemPath("/data/1/a.\\x", "/data/", item));
  EXPECT_TRUE(ParseItemPath("/data/1/noext", "/data/", item));
  EXPECT_EQ(StreamKindOfName("a.mp3"), 2);
  EXPECT_EQ(StreamKindOfName("a.nvf"), 4);
  EXPECT_EQ(StreamKindOfName("a.txt"), 3);
}

}  // namespace
}  // namespace hub
