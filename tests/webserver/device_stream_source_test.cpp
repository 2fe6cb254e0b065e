// The server built on a device: streams and downloads through its operations.
#include "webserver/device_stream_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "common/file_copy_signal.h"
#include "testdevice/memory_device.h"
#include "web_test_support.h"
#include "webserver/handler_default.h"
#include "webserver/handler_stream.h"

namespace hub::test {
namespace {

// Copies run in the background as the mass-storage device runs them, and
// announce themselves before the call returns.
class CopyingDevice : public MemoryDevice {
 public:
  std::string content;
  // Read by the test while the server's threads may still count.
  std::atomic<int> transfers{0};
  ~CopyingDevice() override {
    for (auto& t : threads_) t.join();
  }
  int CopyTrackFromDevice(const KernelId&, std::string_view target, int) override { return Start(target); }
  int TransferOp5070(const KernelId&, std::string_view target) override {
    // Asks once to be called again, as a device may.
    return ++transfers == 1 ? 2 : Start(target);
  }

 private:
  int Start(std::string_view target) {
    std::string path(target);
    AnnounceFileCopy(path);
    threads_.emplace_back([this, path] {
      {
        std::ofstream out(path, std::ios::binary);
        for (size_t pos = 0; pos < content.size(); pos += 10000) {
          out.write(content.data() + pos, static_cast<std::streamsize>(std::min<size_t>(10000, content.size() - pos)));
          out.flush();
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      }
      FinishFileCopy(path);
    });
    return 0;
  }
  std::vector<std::thread> threads_;
};

class DeviceStreamTest : public WebServerTest {
 protected:
  void SetUp() override {
    WebServerTest::SetUp();
    device_.content = RandomBytes(123456, 11);
    _AUDIODATA r;
    r.artist.Set("Band");
    r.album.Set("Record");
    r.title.Set("Tune");
    r.trackNumber = 3;
    r.size = static_cast<uint32_t>(device_.content.size());
    track_ = device_.AddTrack(r);
    server_ = std::make_unique<HttpServer>(&device_);
    server_->AddHandler(std::make_unique<HandlerDefault>(server_.get()));
    server_->AddHandler(std::make_unique<HandlerStream>(server_.get()));
    server_->AddHandler(std::make_unique<HandlerData>(server_.get()));
    ASSERT_TRUE(server_->Start(0));
  }
  CopyingDevice device_;
  KernelId track_;
};

TEST_F(DeviceStreamTest, TrackStreamsByteForByteWithItsRecordSize) {
  std::string path = "/stream/" + std::to_string(track_.RecordId()) + "/Band%20-%20Tune.mp3";
  CurlReply r = Curl({Url(path)});
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.HeadHas("Content-Length: 123456")) << r.head;
  EXPECT_TRUE(r.HeadHas("Content-Disposition: attachment; filename=\"Band - Record - 03 - Tune.mp3\"")) << r.head;
  EXPECT_TRUE(r.body == device_.content);
  CurlReply ranged = Curl({"-H", "Range: bytes=123000-", Url(path)});
  EXPECT_EQ(ranged.status, 206);
  EXPECT_TRUE(ranged.body == device_.content.substr(123000));
}

TEST_F(DeviceStreamTest, DataFileDownloadsWhole) {
  CurlReply r = Curl({Url("/data/77/report.txt")});
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.HeadHas("Content-Length: 123456")) << r.head;
  EXPECT_TRUE(r.body == device_.content);
  EXPECT_EQ(device_.transfers, 2);
}

}  // namespace
}  // namespace hub::test
