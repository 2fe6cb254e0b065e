// DispatchRequest over the whole request table: each opcode calls its
// operation with the row's fields (by address or by value) and its answer
// lands where the row says.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/kdp_block.h"
#include "common/kdp_request_table.h"
#include "common/kernel_driver.h"
#include "testdevice/memory_device.h"
#include "testdevice/recording_device.h"

namespace hub {
namespace {

using test::RecordingDevice;

int64_t AddressOf(const void* p) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p)); }

int64_t Expected(KdpField field, const KdpBlock& b) {
  switch (field) {
    case KdpField::N1: return b.n1;
    case KdpField::N2: return b.n2;
    case KdpField::N3: return b.n3;
    case KdpField::H: return b.window;
    case KdpField::Zero: return 0;
    case KdpField::S1: return AddressOf(b.s1.text);
    case KdpField::S2: return AddressOf(b.s2.text);
    case KdpField::S3: return AddressOf(b.s3.text);
    case KdpField::ID1: return AddressOf(&b.id1);
    case KdpField::ID2: return AddressOf(&b.id2);
    case KdpField::TR: return AddressOf(&b.track);
    case KdpField::CR: return AddressOf(&b.contact);
    case KdpField::LongText: return AddressOf(b.longText);
  }
  return -1;
}

std::unique_ptr<KdpBlock> RequestBlock(uint32_t opcode) {
  auto b = std::make_unique<KdpBlock>();
  b->selector = kKdpSelectorRequest;
  b->opcode = opcode;
  b->n1 = 11;
  b->n2 = -22;
  b->n3 = 33;
  b->window = 0x4444;
  b->result = 99;          // stale answer of an earlier request
  b->text.Set("stale");
  b->noticeFlag = kKdpNoticeSet;
  b->errorCode = 5;
  return b;
}

TEST(DispatchRequestTest, EveryRowCallsItsOperationWithItsFieldsAndStoresItsResult) {
  RecordingDevice device;
  for (const KdpRequestRow& row : KdpRequestTable()) {
    SCOPED_TRACE(row.opcode);
    auto block = RequestBlock(row.opcode);
    device.calls.clear();
    device.DispatchRequest(*block);

    ASSERT_EQ(device.calls.size(), 1u);
    EXPECT_EQ(device.calls[0].operation, row.operation);
    ASSERT_EQ(device.calls[0].args.size(), row.Args().size());
    for (size_t i = 0; i < row.Args().size(); ++i) EXPECT_EQ(device.calls[0].args[i], Expected(row.Args()[i], *block)) << i;

    int expectedR = row.result == KdpResult::R ? RecordingDevice::AnswerFor(row.operation) : 0;
    std::string expectedT = row.result == KdpResult::T ? RecordingDevice::TextFor(row.operation) : "";
    EXPECT_EQ(block->result, expectedR);
    EXPECT_EQ(block->text.Get(), expectedT);
    if (row.result == KdpResult::LongText) {
      EXPECT_EQ(block->LongText(), RecordingDevice::TextFor(row.operation));
    }
    EXPECT_EQ(block->noticeFlag, 0u);
    EXPECT_EQ(block->errorCode, 0);
  }
}

TEST(DispatchRequestTest, OpcodesOutsideTheTableAnswerNothingAndTouchNoArgument) {
  for (uint32_t opcode : {0u, kOpcodeCapabilityRefresh}) {
    SCOPED_TRACE(opcode);
    RecordingDevice device;
    auto block = RequestBlock(opcode);
    block->id1.SetRecordId(77);
    block->id1.SetName("one");
    block->id2.SetRecordId(88);
    block->track.artist.Set("artist");
    block->track.year = 1999;
    device.DispatchRequest(*block);
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(block->result, 0);
    EXPECT_EQ(block->text.Get(), "");
    EXPECT_EQ(block->id1.RecordId(), 77u);
    EXPECT_EQ(block->id1.Name(), "one");
    EXPECT_EQ(block->id2.RecordId(), 88u);
    EXPECT_EQ(block->track.artist.Get(), "artist");
    EXPECT_EQ(block->track.year, 1999u);
  }
}

TEST(DispatchRequestTest, BusyFlagAnswersOneZeroThenOneAfterUnlock) {
  test::MemoryDevice device;
  auto block = std::make_unique<KdpBlock>();
  int answers[4];
  const uint32_t ops[] = {kOpcodeTryLock, kOpcodeTryLock, kOpcodeUnlock, kOpcodeTryLock};
  for (int i = 0; i < 4; ++i) {
    block->opcode = ops[i];
    device.DispatchRequest(*block);
    answers[i] = block->result;
  }
  EXPECT_EQ(answers[0], 1);
  EXPECT_EQ(answers[1], 0);
  EXPECT_EQ(answers[2], 0);
  EXPECT_EQ(answers[3], 1);
}

TEST(DispatchRequestTest, NoticeOfOneRequestDoesNotSurviveIntoTheNext) {
  test::MemoryDevice device;
  auto block = std::make_unique<KdpBlock>();
  block->opcode = 1010;  // GetDriverName answers with a notice
  device.DispatchRequest(*block);
  EXPECT_EQ(block->noticeFlag, kKdpNoticeSet);
  EXPECT_EQ(block->noticeText.Get(), "Memory driver");
  EXPECT_EQ(block->result, 0);

  block->opcode = kOpcodeIsConnected;
  device.DispatchRequest(*block);
  EXPECT_EQ(block->noticeFlag, 0u);
  EXPECT_EQ(block->result, 1);
}

// After a request the device writes notices into its private block again, so
// a notice raised later (another thread, another time) never lands in a
// block that now holds someone else's request.
TEST(DispatchRequestTest, NoticeOutsideARequestNeverReachesTheSharedBlock) {
  test::MemoryDevice device;
  auto shared = std::make_unique<KdpBlock>();
  shared->opcode = kOpcodeIsConnected;
  device.DispatchRequest(*shared);
  EXPECT_EQ(&device.CurrentBlock() == shared.get(), false);
  device.SetNotice("late notice");
  device.SetDriverError(32, "late error");
  EXPECT_EQ(shared->noticeFlag, 0u);
  EXPECT_TRUE(shared->noticeText.empty());
  EXPECT_EQ(shared->driverErrorCode, 0u);
}

// A driver error raised by another thread (a copy's) never lands in a request
// that thread is not serving, whose answer may already be read: the next
// request carries it, once.
TEST(DispatchRequestTest, DriverErrorOfAnotherThreadReachesTheNextRequestOnce) {
  struct ErrorDuringRequest : test::MemoryDevice {
    int IsConnected() override {
      std::thread([this] { SetDriverError(5, "Driver Error: 0x5"); }).join();
      return 1;
    }
  } device;
  auto during = std::make_unique<KdpBlock>();
  during->opcode = kOpcodeIsConnected;
  device.DispatchRequest(*during);
  EXPECT_EQ(during->driverErrorCode, 0u);
  EXPECT_TRUE(during->driverErrorText.empty());
  for (uint32_t expected : {5u, 0u}) {
    auto next = std::make_unique<KdpBlock>();
    next->opcode = kOpcodeGetVersion;
    device.DispatchRequest(*next);
    EXPECT_EQ(next->driverErrorCode, expected);
    EXPECT_EQ(next->driverErrorText.Get(), expected ? "Driver Error: 0x5" : "");
  }
}

TEST(DispatchRequestTest, TextResultIsCutAt256Bytes) {
  test::MemoryDevice device;
  _AUDIODATA r;
  r.artist.Set(std::string(256, 'a'));
  r.album.Set(std::string(256, 'b'));
  KernelId id = device.AddTrack(r);
  auto block = std::make_unique<KdpBlock>();
  block->opcode = 4180;  // BuildTrackFileName: longer than 256 bytes
  block->id1 = id;
  device.DispatchRequest(*block);
  EXPECT_EQ(block->text.Get(), std::string(256, 'a'));
  EXPECT_EQ(block->text.capacity, 256u);
}

// A block from another process with no terminator anywhere: every text the
// operations read stays inside its field (ASan would report a read past it).
TEST(DispatchRequestTest, UnterminatedBlockIsServedInsideItsFields) {
  test::MemoryDevice device;
  device.AddTrack("A", "X", "t1", 1);
  device.AddPlaylist("P");
  for (const KdpRequestRow& row : KdpRequestTable()) {
    auto block = std::make_unique<KdpBlock>();
    std::memset(static_cast<void*>(block.get()), 'z', sizeof(KdpBlock));
    block->opcode = row.opcode;
    block->n1 = block->n2 = block->n3 = 1;
    block->window = 0;
    device.DispatchRequest(*block);
    EXPECT_EQ(block->s1.Get().size() <= 256, true);
    EXPECT_LE(block->LongText().size(), kKdpLongTextSize - 1);
  }
}

// A statement that fills its field may have been cut into another statement:
// it is refused, not run. Other texts are still served cut.
TEST(DispatchRequestTest, AStatementFillingItsFieldIsRefused) {
  struct Case {
    uint32_t opcode;
    size_t length;
    bool runs;
  };
  const Case cases[] = {
      {kOpcodeRunQuery, 255, true},
      {kOpcodeRunQuery, 256, false},
      {8040, 256, true},  // CreatePlaylist
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.opcode << " " << c.length);
    RecordingDevice device;
    auto block = RequestBlock(c.opcode);
    std::memset(block->s1.text, 'x', sizeof block->s1.text);
    if (c.length < sizeof block->s1.text) block->s1.text[c.length] = 0;
    device.DispatchRequest(*block);
    EXPECT_EQ(device.calls.size(), c.runs ? 1u : 0u);
    EXPECT_EQ(block->errorCode, c.runs ? 0 : static_cast<int32_t>(kKdpErrorOperationFailed));
    if (!c.runs) {
      EXPECT_EQ(block->errorTitle.Get(), "RunQuery");
      EXPECT_EQ(block->result, 0);
    }
  }
}

TEST(DispatchRequestTest, NoteTextIsReadUpToItsBoundAndWrittenCut) {
  struct NoteDevice : test::MemoryDevice {
    std::string stored;
    std::string ReadNote(const KernelId&) override { return std::string(6000, 'q'); }
    int WriteNote(const KernelId&, std::string_view text) override {
      stored = std::string(text);
      return 1;
    }
  } device;
  auto block = std::make_unique<KdpBlock>();
  block->opcode = kOpcodeReadNote;
  device.DispatchRequest(*block);
  EXPECT_EQ(block->LongText(), std::string(4099, 'q'));
  EXPECT_EQ(block->result, 0);
  EXPECT_TRUE(block->contact.field[0].empty());  // nothing written past the field

  std::memset(block->longText, 'w', sizeof block->longText);
  block->opcode = kOpcodeWriteNote;
  device.DispatchRequest(*block);
  EXPECT_EQ(device.stored, std::string(4099, 'w'));
  EXPECT_EQ(block->result, 1);
}

}  // namespace
}  // namespace hub

namespace hub {
namespace {

TEST(DispatchRequestTest, FailingOperationAnswersAnErrorAndKeepsServing) {
  test::MemoryDevice device;
  KernelId id = device.AddTrack("A", "L", "t");
  device.failingTracks = {id.RecordId()};
  auto block = std::make_unique<KdpBlock>();
  block->opcode = 4040;  // GetTrackInfo
  block->id1 = id;
  device.DispatchRequest(*block);
  EXPECT_EQ(static_cast<uint32_t>(block->errorCode), kKdpErrorOperationFailed);
  EXPECT_EQ(block->errorTitle.Get(), "GetTrackInfo");
  EXPECT_EQ(block->errorText.Get(), "track record unavailable");
  EXPECT_EQ(block->result, 0);

  block->opcode = kOpcodeIsConnected;
  device.DispatchRequest(*block);
  EXPECT_EQ(block->errorCode, 0);
  EXPECT_EQ(block->result, 1);
}

TEST(DispatchRequestTest, DeviceChangeCountMovesWithEveryChangeAndNeverWithAReadOnly) {
  test::MemoryDevice device;
  KernelId id = device.AddTrack("A", "L", "t");
  device.AddTrack("B", "M", "u");
  auto requestNamed = [&](std::string_view name) {
    for (const KdpRequestRow& row : KdpRequestTable()) {
      if (row.operation != name) continue;
      auto block = std::make_unique<KdpBlock>();
      block->opcode = row.opcode;
      block->id1 = id;
      block->s1.Set("x");
      device.DispatchRequest(*block);
      return;
    }
    ADD_FAILURE() << name << " is not a request";
  };
  struct Case {
    std::string operation;
    bool changes;
  } cases[] = {
      {"GetTrackInfo", false},     {"GetFirstTrack", false},  {"FindTracks", false},   {"GetVolume", false},
      {"IsPaused", false},         {"SupportsAudio", false},  {"GetQueuePosition", false},
      {"SetTrackInfo", true},      {"SetTrackTitle", true},   {"DeleteTrack", true},   {"CreatePlaylist", true},
      {"RenamePlaylist", true},    {"EnqueueTrack", true},    {"ClearQueue", true},    {"SetVolume", true},
      {"SetPaused", true},         {"PlayTrack", true},       {"StopPlayback", true},  {"AddDataFile", true},
  };
  for (const Case& c : cases) {
    uint64_t before = device.DeviceChangeCount();
    requestNamed(c.operation);
    EXPECT_EQ(device.DeviceChangeCount() != before, c.changes) << c.operation;
  }
  // Changes the manager makes without a request.
  const std::pair<const char*, std::function<void()>> local[] = {
      {"InvalidateCaches", [&] { device.InvalidateCaches(); }},
      {"MarkModified", [&] { device.MarkModified(); }},
      {"EnqueueTrack", [&] { device.EnqueueTrack(id); }},
      {"SetQueuePosition", [&] { device.SetQueuePosition(0); }},
      {"PlayNextQueueItem", [&] { device.PlayNextQueueItem(); }},
      {"NotifyTrackStarted", [&] { device.NotifyTrackStarted(0); }},
      {"OnTrackFinished", [&] { device.OnTrackFinished(0); }},
      {"Disconnect", [&] { device.Disconnect(); }},
  };
  for (const auto& [name, change] : local) {
    uint64_t before = device.DeviceChangeCount();
    change();
    EXPECT_GT(device.DeviceChangeCount(), before) << name;
  }
}

TEST(KernelDriverTest, DeviceChecksItselfThroughItsDriver) {
  struct Driver : KernelDriver {
    Driver() : KernelDriver("memory driver") {}
    std::string GetName() override { return {}; }
    int Initialize() override { return 1; }
    KernelDevice* CreateDevice(const KernelId& a, const KernelId& b) override {
      return Adopt(std::make_unique<test::NullDevice>(this, a, b));
    }
    int IsAvailable() override { return 1; }
    int CheckDevice(const KernelId& id) override { return id.key[0] == 7 ? 1 : 0; }
  } driver;
  KernelDevice* good = driver.CreateDevice(KernelId(7), KernelId(8));
  KernelDevice* bad = driver.CreateDevice(KernelId(9), KernelId(7));
  EXPECT_EQ(good->CheckDriver(), 1);
  EXPECT_EQ(bad->CheckDriver(), 0);
  EXPECT_EQ(driver.Devices().size(), 2u);
  EXPECT_EQ(driver.GetText(), "memory driver");
  EXPECT_EQ(good->Driver(), &driver);
}

}  // namespace
}  // namespace hub
