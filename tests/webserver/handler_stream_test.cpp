// Streams and downloads over real sockets: ranges, growing copies, temporary files.
#include "webserver/handler_stream.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/file_copy_signal.h"
#include "common/folders.h"
#include "common/settings.h"
#include "support/hermetic_env.h"
#include "web_test_support.h"
#include "webserver/temp_file_users.h"

namespace hub::test {
namespace {

bool Exists(const std::string& p) { return ::access(p.c_str(), F_OK) == 0; }

class HandlerStreamTest : public WebServerTest {
 protected:
  void SetUp() override {
    WebServerTest::SetUp();
    StartServer();
    track_ = RandomBytes(100000, 7);
    source_->config()->items[42] = {track_, "Artist - Album - 01 - Song.mp3", -1};
  }
  std::string track_;
};

TEST_F(HandlerStreamTest, RangesGetTheStatusHeadersAndBytesOfRfc9110) {
  const int64_t n = static_cast<int64_t>(track_.size());
  const std::string total = "/" + std::to_string(n);
  struct Case {
    std::vector<std::string> extra;
    int status;
    std::string contentRange;  // empty: none
    int64_t first, length;
  } cases[] = {
      {{}, 200, "", 0, n},
      {{"-H", "Range: bytes=500-"}, 206, "bytes 500-99999" + total, 500, n - 500},
      {{"-H", "Range: bytes=500-999"}, 206, "bytes 500-999" + total, 500, 500},
      {{"-H", "Range: bytes=-300"}, 206, "bytes 99700-99999" + total, n - 300, 300},
      {{"-H", "Range: bytes=100000-"}, 416, "bytes */100000", 0, -1},
      {{"-H", "Range: bytes=0-1,5-6"}, 200, "", 0, n},
      {{"-H", "Range: bytes=500-", "-A", "RealMedia Player"}, 200, "", 0, n},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.extra;
    args.push_back(Url("/stream/42/Song.mp3"));
    CurlReply r = Curl(args);
    std::string label = c.extra.empty() ? "plain" : c.extra[1];
    EXPECT_EQ(r.status, c.status) << label;
    if (c.contentRange.empty()) {
      EXPECT_EQ(r.head.find("Content-Range"), std::string::npos) << label;
    } else {
      EXPECT_TRUE(r.HeadHas("Content-Range: " + c.contentRange)) << label << "\n" << r.head;
    }
    if (c.length >= 0) {
      EXPECT_TRUE(r.HeadHas("Content-Length: " + std::to_string(c.length))) << label;
      EXPECT_TRUE(r.HeadHas("Content-Type: audio/mpeg")) << label;
      EXPECT_TRUE(r.body == track_.substr(static_cast<size_t>(c.first), static_cast<size_t>(c.length))) << label;
    }
  }
  WaitUntilIdle();
  EXPECT_FALSE(Exists(StreamTempPath(42, ".mp3")));
}

TEST_F(HandlerStreamTest, StreamFollowsACopyInProgress) {
  source_->config()->backgroundCopy = true;
  source_->config()->pieceDelay = std::chrono::milliseconds(5);
  source_->config()->items[42].reportedSize = static_cast<int64_t>(track_.size());
  CurlReply r = Curl({Url("/stream/42/Song.mp3")});
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.HeadHas("Content-Length: 100000"));
  EXPECT_TRUE(r.body == track_);
  WaitUntilIdle();
  EXPECT_FALSE(Exists(StreamTempPath(42, ".mp3")));
  std::ifstream in(tempRoot_ + "/surgecast/log.txt");
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* step : {"dne\n", "d\n", "Header sent.", "ls: 0\n", "c: ", "\ncomplete\n"}) {
    EXPECT_NE(log.find(step), std::string::npos) << step << " in " << log;
  }
}

TEST_F(HandlerStreamTest, PeerLeavingMidStreamEndsTheRequestQuietly) {
  source_->config()->items[43] = {RandomBytes(20 << 20, 5), "big.mp3", -1};
  int fd = ConnectIdle(server_->Port());
  ASSERT_GE(fd, 0);
  std::string req = "GET /stream/43/big.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
  ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
  char buf[1000];
  EXPECT_GT(::recv(fd, buf, sizeof buf, MSG_WAITALL), 0);
  ::close(fd);  // unread data: the server's next sends fail
  WaitUntilIdle();
  EXPECT_EQ(server_->ActiveConnections(), 0u);
  EXPECT_FALSE(Exists(StreamTempPath(43, ".mp3")));
  EXPECT_EQ(Curl({Url("/stream/42/Song.mp3")}).status, 200);  // and the server goes on
}

TEST_F(HandlerStreamTest, DeviceFailureBeforeTheHeadIsA500Page) {
  source_->config()->failing = true;
  CurlReply r = Curl({Url("/stream/42/Song.mp3")});
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("Detail: device &lt;gone&gt;"), std::string::npos) << r.body;
}

TEST_F(HandlerStreamTest, RemotePeersGetNoDetailOfAFailureAndTheLogKeepsIt) {
  source_->config()->failing = true;
  std::string request = "GET /stream/42/Song.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string remote = RawExchange(server_->Port(), request, "127.0.0.2");
  EXPECT_EQ(remote.substr(0, 12), "HTTP/1.1 500") << remote;
  EXPECT_EQ(remote.find("gone"), std::string::npos) << remote;
  std::ifstream log(appData_ + "/httplog.html");
  std::string logged((std::istreambuf_iterator<char>(log)), {});
  EXPECT_NE(logged.find("127.0.0.2\t"), std::string::npos) << logged;
  EXPECT_NE(logged.find("Song.mp3\tfailed: device &lt;gone&gt;<br>"), std::string::npos) << logged;
}

TEST_F(HandlerStreamTest, TwoRequestsShareOneCopyAndTheLastDeletesIt) {
  source_->config()->backgroundCopy = true;
  source_->config()->pieceDelay = std::chrono::milliseconds(5);
  CurlReply a, b;
  std::thread ta([&] { a = Curl({Url("/stream/42/Song.mp3")}); });
  std::thread tb([&] { b = Curl({Url("/stream/42/Song.mp3")}); });
  ta.join();
  tb.join();
  EXPECT_TRUE(a.body == track_);
  EXPECT_TRUE(b.body == track_);
  EXPECT_LE(source_->copies.load(), 2);
  WaitUntilIdle();
  EXPECT_EQ(TempFileUse::UsersOf(StreamTempPath(42, ".mp3")), 0);
  EXPECT_FALSE(Exists(StreamTempPath(42, ".mp3")));
}

TEST_F(HandlerStreamTest, OldestUnusedCopiesGoBeyondTheFolderCap) {
  WriteSettingDword("KW_SurgecastLimitMB", 1);
  std::string folder = GetTempFolder(kTempSurgecast);
  auto now = std::filesystem::file_time_type::clock::now();
  struct Left {
    std::string name;
    int ageSeconds;
    bool gone;
  } left[] = {{"7.mp3", 300, true}, {"8.mp3", 200, true}, {"9.mp3", 100, false}};
  for (const auto& f : left) {
    std::ofstream(folder + f.name, std::ios::binary) << std::string(600000, 'x');
    std::filesystem::last_write_time(folder + f.name, now - std::chrono::seconds(f.ageSeconds));
  }
  CurlReply r = Curl({Url("/stream/42/Song.mp3")});
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.body == track_);
  for (const auto& f : left) EXPECT_EQ(Exists(folder + f.name), !f.gone) << f.name;
}

TEST_F(HandlerStreamTest, HeadStartsNoCopyAndTraceEchoesTheRequest) {
  CurlReply head = Curl({"-I", Url("/stream/42/Song.mp3")});
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(source_->copies.load(), 0);
  CurlReply trace = Curl({"-X", "TRACE", Url("/stream/42/Song.mp3")});
  EXPECT_EQ(trace.status, 200);
  EXPECT_EQ(trace.body.substr(0, 30), "TRACE /stream/42/Song.mp3 HTTP");
  EXPECT_EQ(Curl({"-X", "DELETE", Url("/stream/42/Song.mp3")}).status, 405);
  EXPECT_EQ(source_->copies.load(), 0);
}

TEST_F(HandlerStreamTest, NamesFromTagsCannotSplitTheHead) {
  source_->config()->items[42].name = "Evil\r\nX-Injected: 1\r\n\r\nCaf\xC3\xA9.mp3";
  CurlReply r = Curl({Url("/stream/42/Song.mp3")});
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.head.find("\r\nX-Injected"), std::string::npos) << r.head;
  EXPECT_TRUE(r.HeadHas("icy-name:EvilX-Injected: 1Caf\xC3\xA9.mp3"));
  EXPECT_NE(r.head.find("filename*=UTF-8''EvilX-Injected%3A%201Caf%C3%A9.mp3"), std::string::npos) << r.head;
  EXPECT_TRUE(r.body == track_);
}

TEST_F(HandlerStreamTest, DirectFilesAreSentAndKept) {
  source_->config()->playsOnComputer = true;
  source_->config()->directFolder = MakeTempDir("player");
  std::string path = source_->TrackFilePath(42);
  std::ofstream(path, std::ios::binary) << track_;
  CurlReply r = Curl({"-H", "Range: bytes=99000-", Url("/stream/42/Song.mp3")});
  EXPECT_EQ(r.status, 206);
  EXPECT_TRUE(r.body == track_.substr(99000));
  EXPECT_EQ(source_->copies.load(), 0);
  EXPECT_TRUE(Exists(path));
}

TEST_F(HandlerStreamTest, MissingItemIs404BeforeAnyHead) {
  CurlReply r = Curl({Url("/stream/999/x.mp3")});
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(Curl({Url("/stream/notanid/x.mp3")}).status, 404);
}

TEST_F(HandlerStreamTest, DataDownloadsWholeAndCleansUp) {
  std::string doc = RandomBytes(30000, 3);
  source_->config()->items[0x100000005ull] = {doc, "notes.txt", 0};  // the device does not know the size
  source_->config()->backgroundCopy = true;
  source_->config()->pieceDelay = std::chrono::milliseconds(2);
  CurlReply r = Curl({Url("/data/4294967301/notes.txt")});
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.HeadHas("Content-Length: 30000"));
  EXPECT_TRUE(r.HeadHas("Content-Type: text/plain; charset=iso-8859-1"));
  EXPECT_TRUE(r.body == doc);
  std::string temp = DataTempPath(0x100000005ull, ".txt");
  EXPECT_NE(temp.find("data4294967301.txt"), std::string::npos);
  WaitUntilIdle();
  EXPECT_FALSE(Exists(temp));
  // A stream of a data file takes the data road too, and downloads whole.
  CurlReply s = Curl({Url("/stream/4294967301/notes.txt")});
  EXPECT_TRUE(s.body == doc);
}

}  // namespace
}  // namespace hub::test
