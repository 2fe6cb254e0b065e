// Streams of a mass-storage player's tracks through the web server, over real
// sockets: ids beyond 32 bits, copies followed while they grow and run side by
// side, copies whose peers left, and streams answered while a request writes
// tags, the database is written or the player is ejected.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <optional>

#include "common/folders.h"
#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "common/utf16.h"
#include "manager/msc/track_copier.h"
#include "manager/tags/tag_writer.h"
#include "platform/fs/whole_file.h"
#include "platform/fs/volumes.h"
#include "platform/window/window.h"
#include "support/audio_fixtures.h"
#include "support/hermetic_env.h"
#include "webserver/handler_stream.h"
#include "webserver/http_server.h"
#include "../test_family.h"

namespace fs = std::filesystem;

namespace hub {
namespace {

namespace win = hub::platform;

// Holds copies after their first block until opened (at most 20 s).
class Gate {
 public:
  void Wait() {
    std::unique_lock lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
    --waiting_;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitUntilHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return waiting_ > 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool open_ = false;
};

int Connect(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  timeval tv{20, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

// Reads until `bytes` holds `until` (found) or the server ends; false on time-out or end first.
bool ReadUntil(int fd, std::string& bytes, const std::function<bool(const std::string&)>& until) {
  char buf[65536];
  while (!until(bytes)) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    bytes.append(buf, static_cast<size_t>(n));
  }
  return true;
}

std::string Body(const std::string& reply) {
  size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

class MscStreamsTest : public ::testing::Test {
 protected:
  // The first member: the devices below are gone before the table is.
  std::optional<platform::ScopedVolumeTable> volumes_;
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    std::string player = test::MakeTempDir("player");
    WriteSettingString("Gen_TempPath", test::MakeTempDir("temp"));
    ::setenv(platform::kFolderPlayersEnv, ("E=" + player + "|" + test::kTestLabel + "|1234ABCD").c_str(), 1);
    platform::SystemView view;
    view.mountInfoPath = "/nonexistent";
    view.readSettings = false;
    volumes_.emplace(view);
    device_ = std::make_unique<WithWorkers<test::TestFamilyDevice>>(&driver_);
    device_->Connect(0);
    ASSERT_EQ(device_->IsConnected(), 1);

    std::string src = test::MakeTempDir("src");
    smallSource_ = src + "/small.mp3";
    bigSource_ = src + "/big.mp3";
    ASSERT_TRUE(test::MakeMp3(smallSource_));
    ASSERT_TRUE(test::MakeMp3(bigSource_));
    std::ofstream(bigSource_, std::ios::binary | std::ios::app) << std::string(5 * kCopyBlockSize, '\0');
    small_ = Add(smallSource_, "Small");
    big_ = Add(bigSource_, "Big");
    ASSERT_TRUE(device_->WaitForCopies(std::chrono::seconds(20)));

    server_ = std::make_unique<HttpServer>(device_.get());
    server_->AddHandler(std::make_unique<HandlerStream>(server_.get()));
    ASSERT_TRUE(server_->Start(0));
  }
  void TearDown() override {
    gate_.Open();
    if (server_) server_->Stop();
    server_.reset();
    device_.reset();
  }

  uint64_t Add(const std::string& source, const std::string& title) {
    auto block = std::make_unique<KdpBlock>();
    block->selector = kKdpSelectorRequest;
    block->opcode = 5040;
    _AUDIODATA r;
    r.path.Set(source);
    r.artist.Set("Artist");
    r.album.Set("Album");
    r.title.Set(title);
    r.fileType = kFileTypeMp3;
    block->s1.Set(source);
    std::memcpy(&block->track, &r, sizeof r);
    device_->DispatchRequest(*block);
    EXPECT_EQ(block->result, 0);
    return block->id1.RecordId();
  }

  std::string Request(uint64_t id) {
    return "GET /stream/" + std::to_string(id) + "/x.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
  }
  // One whole exchange.
  std::string Get(uint64_t id) {
    int fd = Connect(server_->Port());
    std::string req = Request(id), reply;
    ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    ReadUntil(fd, reply, [](const std::string&) { return false; });
    ::close(fd);
    return reply;
  }
  // Holds the big track's stream copies after their first block.
  void HoldBigCopies() {
    std::string name = std::to_string(big_) + ".mp3";
    device_->SetAfterBlockHook([this, name](const CopyJob& job, uint64_t) {
      if (job.target.ends_with("/" + name)) {
        ++bigBlocks_;
        gate_.Wait();
      }
    });
  }
  std::vector<std::string> TempFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(GetTempFolder(kTempSurgecast))) {
      if (e.path().filename() != "log.txt") names.push_back(e.path().filename());
    }
    return names;
  }

  test::TestFamilyDriver driver_;
  std::unique_ptr<test::TestFamilyDevice> device_;
  std::unique_ptr<HttpServer> server_;
  std::string smallSource_, bigSource_;
  uint64_t small_ = 0, big_ = 0;
  Gate gate_;
  std::atomic<int> bigBlocks_{0};
};

TEST_F(MscStreamsTest, IdsThatNameNoTrackAre404) {
  struct Case {
    uint64_t id;
    const char* status;
  } cases[] = {
      {small_, "HTTP/1.1 200"},
      {small_ + (uint64_t{1} << 32), "HTTP/1.1 404"},
      {big_ + (uint64_t{7} << 32), "HTTP/1.1 404"},
      {999999, "HTTP/1.1 404"},
  };
  for (const auto& c : cases) EXPECT_EQ(Get(c.id).substr(0, 12), c.status) << c.id;
}

TEST_F(MscStreamsTest, StreamsFollowTheirCopyWhileOthersRunBeside) {
  HoldBigCopies();
  int fd = Connect(server_->Port());
  std::string req = Request(big_), big;
  ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
  // The first bytes come while the copy is held after its first block.
  ASSERT_TRUE(ReadUntil(fd, big, [](const std::string& r) { return Body(r).size() > 0; }));
  ASSERT_TRUE(gate_.WaitUntilHeld());
  // Another track is copied and sent meanwhile.
  std::string small = Get(small_);
  EXPECT_EQ(small.substr(0, 12), "HTTP/1.1 200");
  auto expected = test::ReadBytes(smallSource_);
  EXPECT_EQ(Body(small), std::string(expected.begin(), expected.end()));
  gate_.Open();
  ReadUntil(fd, big, [](const std::string&) { return false; });
  ::close(fd);
  auto bigBytes = test::ReadBytes(bigSource_);
  EXPECT_TRUE(Body(big) == std::string(bigBytes.begin(), bigBytes.end())) << Body(big).size();
}

TEST_F(MscStreamsTest, CopiesWhosePeersLeftStopAndAreDeleted) {
  HoldBigCopies();
  for (int round = 0; round < 3; ++round) {
    int fd = Connect(server_->Port());
    std::string req = Request(big_), reply;
    ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    ASSERT_TRUE(ReadUntil(fd, reply, [](const std::string& r) { return Body(r).size() > 0; }));
    ::close(fd);
  }
  for (int i = 0; i < 2000 && server_->ActiveConnections() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(server_->ActiveConnections(), 0u);
  gate_.Open();
  ASSERT_TRUE(device_->WaitForCopies(std::chrono::seconds(20)));
  EXPECT_TRUE(TempFiles().empty()) << TempFiles().front();
  // Each copy stopped after the block it was held at.
  EXPECT_LE(bigBlocks_.load(), 3 * 2);
}

// The long part of a request (a tag write of up to five seconds, the database
// written to the player, an eject) runs without the device's lock: a stream
// asked for from inside it is answered before it ends. Each case streams from
// within the work itself, through a seam that runs on the working thread.
class MscLongWorkTest : public MscStreamsTest {
 protected:
  // Asks for the big track's stream from inside the work and takes its first
  // line; notes whether the request doing the work had already ended by then.
  void StreamFromInside() {
    if (streamed_.exchange(true)) return;
    int fd = Connect(server_->Port());
    std::string req = Request(big_);
    ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    ReadUntil(fd, reply_, [](const std::string& r) { return r.find("\r\n") != std::string::npos; });
    ::close(fd);
    requestEndedFirst_ = requestEnded_.load();
    inside_.set_value();
  }
  // Runs the request on this thread, then waits (bounded) for the stream made inside it.
  void RunRequest(KdpBlock& block) {
    device_->DispatchRequest(block);
    requestEnded_ = true;
    ASSERT_EQ(inside_.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
  }
  void ExpectStreamAnsweredDuringTheWork(bool connected) {
    EXPECT_FALSE(requestEndedFirst_) << "the stream waited for the request";
    EXPECT_EQ(reply_.substr(0, connected ? 12 : 9), connected ? "HTTP/1.1 200" : "HTTP/1.1 ") << reply_;
  }

  std::atomic<bool> streamed_{false};
  std::atomic<bool> requestEnded_{false};
  bool requestEndedFirst_ = true;
  std::string reply_;
  std::promise<void> inside_;
};

TEST_F(MscLongWorkTest, StreamIsAnsweredWhileATagWriteRuns) {
  ScopedTagWriteHook hook([this](const _AUDIODATA&) { StreamFromInside(); });
  auto block = std::make_unique<KdpBlock>();
  block->opcode = kOpcodeSetTrackInfo;
  block->id1 = KernelId::FromRecordId(small_);
  block->track.artist.Set("Artist");
  block->track.album.Set("Album");
  block->track.title.Set("Renamed");
  block->track.fileType = kFileTypeMp3;
  RunRequest(*block);
  ExpectStreamAnsweredDuringTheWork(true);
  EXPECT_EQ(device_->GetTrackTitle(KernelId::FromRecordId(small_)), "Renamed");
}

TEST_F(MscLongWorkTest, StreamIsAnsweredWhileTheDatabaseIsWritten) {
  device_->SetOwnerName("Saved");
  platform::ScopedFileFaultHook hook([this](platform::FileStep step) {
    if (step == platform::FileStep::kWrite) StreamFromInside();
    return 0;
  });
  auto block = std::make_unique<KdpBlock>();
  block->opcode = kOpcodeSaveDatabase;
  device_->DispatchRequest(*block);
  // Here the request is the background save it asked for.
  ASSERT_TRUE(device_->WaitForSaves(std::chrono::seconds(60)));
  requestEnded_ = true;
  ASSERT_EQ(inside_.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
  ExpectStreamAnsweredDuringTheWork(true);
}

TEST_F(MscLongWorkTest, StreamIsAnsweredWhileDisconnectEjects) {
  ASSERT_TRUE(WriteSettingDword("MS_LeaveMounted", 0));
  device_->realEject = false;
  device_->duringEject = [this] { StreamFromInside(); };
  auto block = std::make_unique<KdpBlock>();
  block->opcode = kOpcodeDisconnect;
  RunRequest(*block);
  EXPECT_EQ(device_->ejects, 1);
  EXPECT_EQ(device_->IsConnected(), 0);
  // The player is disconnected by then: any answer counts, as long as it came.
  ExpectStreamAnsweredDuringTheWork(false);
  EXPECT_EQ(device_->progressUnderLock, 0);
}

}  // namespace
}  // namespace hub
