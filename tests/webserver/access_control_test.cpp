#include "webserver/access_control.h"

#include <gtest/gtest.h>

#include "webserver/http_response.h"

namespace hub {
namespace {

TEST(AccessControlTest, Base64DecodesLenientlyAndKeepsEveryByte) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"YWxpY2U6c2VjcmV0", "alice:secret"},
      {"YWxp Y2U6\r\nc2VjcmV0==", "alice:secret"},
      {"YQ", "a"},
      {"YWI", "ab"},
      {"Y", std::string(1, '\x60')},
      {"YQBi", std::string("a\0b", 3)},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeBase64Lenient(c.in), c.out) << c.in;
}

TEST(AccessControlTest, AccountFileLines) {
  AccountList a = ParseAccountText("# header\r\n  alice:secret  # note\nno colon\n\tbob:pw\r\n#x:y\n");
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0], "alice:secret");
  EXPECT_EQ(a[1], "bob:pw");
}

TEST(AccessControlTest, LocalPeers) {
  EXPECT_TRUE(IsLocalPeer("127.0.0.1", "127.0.0.1"));
  EXPECT_TRUE(IsLocalPeer("192.168.1.5", "192.168.1.5"));
  EXPECT_FALSE(IsLocalPeer("127.0.0.2", "127.0.0.1"));
  EXPECT_FALSE(IsLocalPeer("", ""));
}

TEST(AccessControlTest, LoggedPathIsShortenedEscapedAndOnOneLine) {
  EXPECT_EQ(LoggedPath("/stream/123/Song.mp3"), "Song.mp3");
  EXPECT_EQ(LoggedPath("/index.html?x=1"), "/index.html");
  EXPECT_EQ(LoggedPath("/stream/1/<b>x\r\ny</b>.mp3"), "&lt;b&gt;xy&lt;/b&gt;.mp3");
}

TEST(HttpResponseTest, NamesInHeadsCannotSplitTheResponse) {
  EXPECT_EQ(HeaderSafeName("a\r\nSet-Cookie: x\t.mp3"), "aSet-Cookie: x.mp3");
  EXPECT_EQ(ContentDispositionFor("Artist - Song.mp3"), "attachment; filename=\"Artist - Song.mp3\"");
  EXPECT_EQ(ContentDispositionFor("a\"b\\c"), "attachment; filename=\"a\\\"b\\\\c\"");
  EXPECT_EQ(ContentDispositionFor("Caf\xC3\xA9 1.mp3"),
            "attachment; filename=\"Caf_ 1.mp3\"; filename*=UTF-8''Caf%C3%A9%201.mp3");
  EXPECT_EQ(HeaderSafeName(std::string(5000, 'x')).size(), 1024u);
}

TEST(HttpResponseTest, TablesHaveTheStatusesInUse) {
  for (int s : {200, 206, 400, 401, 403, 404, 405, 416, 431, 500, 503}) EXPECT_FALSE(StatusText(s).empty()) << s;
  EXPECT_EQ(StatusText(404), "File Not Found");
  EXPECT_EQ(MimeIdForExtension(".MP3"), 7);
  EXPECT_EQ(MimeIdForExtension(".xyz"), 0);
  EXPECT_EQ(MimeTypeForId(12), "audio/mp4");
  EXPECT_EQ(MimeTypeForId(13), "");
}

}  // namespace
}  // namespace hub
