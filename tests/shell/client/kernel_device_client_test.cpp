// KernelDeviceClient against a manager's side of the block in a second
// process: connection, every operation of the table, time-outs, late answers,
// a restarted manager and two client processes at once.
#include "shell/client/kernel_device_client.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/kdp_request_table.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/kernel/file_lock.h"
#include "platform/kernel/named_semaphore.h"
#include "platform/kernel/shared_mapping.h"
#include "platform/ui/driver.h"
#include "shell/client/kdp_operation_catalog.h"
#include "shell/client/sha1_hex.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"
#include "testdevice/recording_device.h"

namespace hub {
namespace {

using test::ChildProcess;
using Kind = KdpArg::Kind;

// Bounds only a failing wait; an ASan child on a loaded machine can take seconds to answer.
constexpr int kLineTimeoutMs = 30000;
constexpr int kMemoryTracksForTest = 50;  // the memory server's tracks: artist-1 .. artist-50

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
  }

  // Starts the manager's side; mode: echo (recording device), memory, hang,
  // slow <ms>, extension <ms>, error.
  std::unique_ptr<ChildProcess> StartServer(const std::string& mode, const std::string& arg = "0") {
    auto child = std::make_unique<ChildProcess>(
        std::vector<std::string>{KDP_PEER_PATH, "serve", "irivmgr", mode, "120000", arg});
    auto line = child->ReadLine(kLineTimeoutMs);
    EXPECT_TRUE(line && line->starts_with("ready")) << line.value_or("(no line)");
    return child;
  }

  static std::string NextCall(ChildProcess& server) {
    auto line = server.ReadLine(kLineTimeoutMs);
    return line.value_or("(no line)");
  }

  static void ExpectNotRunning(const std::function<void()>& request) {
    try {
      request();
      ADD_FAILURE() << "request succeeded";
    } catch (const KernelDeviceClientException& e) {
      EXPECT_EQ(e.code, 0u);
      EXPECT_EQ(e.title, "Device Connection");
      EXPECT_EQ(e.text, "Tarveld Manager is not running.");
    }
  }
};

TEST(Sha1HexOfString, EightUpperCaseDigitsOfTheDigest) {
  EXPECT_EQ(Sha1HexOfString("abc"), "A9993E36");
  EXPECT_EQ(Sha1HexOfString(""), "DA39A3EE");
}

TEST_F(ClientTest, RequestBeforeAttachThrowsConnectionAndWritesNothing) {
  auto server = StartServer("echo");
  auto view = platform::SharedMapping::Open(TheProductProfile().mappingName);
  ASSERT_TRUE(view);
  std::vector<char> before(static_cast<char*>(view->data()), static_cast<char*>(view->data()) + kKdpBlockSize);

  KernelDeviceClient client;
  ExpectNotRunning([&] { client.GetTrackArtist(KernelId(5)); });
  ExpectNotRunning([&] { client.Disconnect(); });
  EXPECT_EQ(std::memcmp(before.data(), view->data(), kKdpBlockSize), 0);
}

TEST_F(ClientTest, AttachFindsTheManagerByClassAndFailsWithoutOne) {
  KernelDeviceClient client;
  EXPECT_EQ(client.Attach(10, KernelId(7), KernelId(8), 0), 0);
  ExpectNotRunning([&] { client.IsConnected(); });

  auto server = StartServer("echo");
  EXPECT_EQ(client.Attach(10, KernelId(7), KernelId(8), 0x7fff1234), 1);  // a stale handle
  EXPECT_EQ(client.GetDeviceNumber(), 10u);
  EXPECT_EQ(client.IdA().key[0], 7u);
  EXPECT_EQ(client.IdB().key[0], 8u);
  EXPECT_EQ(client.IsConnected(), test::RecordingDevice::AnswerFor("IsConnected"));
}

// Every proxied operation, through the dispatcher of the other process: each
// input arrives in the parameter the row names, each output and the result
// come back to the caller.
TEST_F(ClientTest, EveryOperationRoundTripsItsArgumentsAndResults) {
  auto server = StartServer("echo");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(1), KernelId(2), 0), 1);

  size_t checked = 0;
  for (const KdpOperation& op : KdpOperations()) {
    ASSERT_TRUE(op.row) << op.name;
    SCOPED_TRACE(std::string(op.name));
    auto fields = op.row->Args();
    ASSERT_EQ(fields.size(), op.params.size());

    std::vector<KernelId> ids(4);
    std::vector<_AUDIODATA> tracks(2);
    std::vector<KernelContact> contacts(2);
    std::vector<KernelTextField> textFields(3);
    std::vector<std::string> texts(4);
    std::vector<KdpArg> args;
    std::vector<std::string> expected;  // what the device must have been given
    size_t idN = 0, trackN = 0, contactN = 0, fieldN = 0, textN = 0;
    const std::string tag = std::to_string(op.opcode);
    auto offsetOf = [](KdpField f) -> std::string {
      static const std::pair<KdpField, size_t> kOffsets[] = {
          {KdpField::S1, 840},  {KdpField::S2, 1104}, {KdpField::S3, 1368},     {KdpField::ID1, 1632},
          {KdpField::ID2, 1908}, {KdpField::TR, 3540}, {KdpField::CR, 10116}, {KdpField::LongText, 6016}};
      for (auto& [field, offset] : kOffsets)
        if (field == f) return "@" + std::to_string(offset) + "=";
      return "";
    };
    for (size_t i = 0; i < op.params.size(); ++i) {
      const KdpField f = fields[i];
      switch (op.params[i]) {
        case Kind::Int: {
          int value = static_cast<int>(op.opcode) * 10 + static_cast<int>(i);
          args.push_back(MakeKdpArg(value));
          expected.push_back(f == KdpField::Zero ? "0" : std::to_string(value));
          break;
        }
        case Kind::Text:
          texts[textN] = "in" + std::to_string(i) + "-" + tag;
          args.push_back(MakeKdpArg(std::string_view(texts[textN])));
          expected.push_back(offsetOf(f) + texts[textN++]);
          break;
        case Kind::IdIn:
          ids[idN] = KernelId(op.opcode * 100 + static_cast<uint32_t>(i));
          args.push_back(MakeKdpArg(static_cast<const KernelId&>(ids[idN++])));
          expected.push_back(offsetOf(f) + std::to_string(op.opcode * 100 + i));
          break;
        case Kind::IdOut:
          ids[idN] = KernelId(999);  // must not travel: outputs are sent cleared
          args.push_back(MakeKdpArg(ids[idN++]));
          expected.push_back(offsetOf(f) + "0");
          break;
        case Kind::TrackIn:
          tracks[trackN].title.Set("tin-" + tag);
          args.push_back(MakeKdpArg(static_cast<const _AUDIODATA&>(tracks[trackN++])));
          expected.push_back(offsetOf(f) + "tin-" + tag);
          break;
        case Kind::TrackOut:
          tracks[trackN].title.Set("stale");
          args.push_back(MakeKdpArg(tracks[trackN++]));
          expected.push_back(offsetOf(f));
          break;
        case Kind::ContactIn:
          contacts[contactN].field[kContactFirstName].Set("cin-" + tag);
          args.push_back(MakeKdpArg(static_cast<const KernelContact&>(contacts[contactN++])));
          expected.push_back(offsetOf(f) + "cin-" + tag);
          break;
        case Kind::ContactOut:
          args.push_back(MakeKdpArg(contacts[contactN++]));
          expected.push_back(offsetOf(f));
          break;
        case Kind::TextFieldOut:
          textFields[fieldN++].Set("stale");
          args.push_back(MakeKdpArg(textFields[fieldN - 1]));
          expected.push_back(offsetOf(f));
          break;
      }
    }

    KdpReply reply = client.Request(op.opcode, args);

    std::string line = NextCall(*server);
    std::string want = "call " + std::string(op.name);
    for (const std::string& e : expected) want += " " + e;
    EXPECT_EQ(line, want);

    switch (op.row->result) {
      case KdpResult::R: EXPECT_EQ(reply.r, test::RecordingDevice::AnswerFor(op.name)); break;
      case KdpResult::T:
      case KdpResult::LongText: EXPECT_EQ(reply.text, test::RecordingDevice::TextFor(op.name)); break;
      case KdpResult::None:
        EXPECT_EQ(reply.r, 0);
        EXPECT_EQ(reply.text, "");
        break;
    }
    // Outputs carry the markers the other side wrote after the call.
    idN = trackN = contactN = fieldN = 0;
    for (size_t i = 0; i < op.params.size(); ++i) {
      const KdpField f = fields[i];
      switch (op.params[i]) {
        case Kind::IdIn: ++idN; break;
        case Kind::IdOut:
          EXPECT_EQ(ids[idN++].key[0], op.opcode * 10 + (f == KdpField::ID1 ? 1 : 2));
          break;
        case Kind::TrackIn: ++trackN; break;
        case Kind::TrackOut: EXPECT_EQ(tracks[trackN++].title.str(), "otr-" + tag); break;
        case Kind::ContactIn: ++contactN; break;
        case Kind::ContactOut:
          EXPECT_EQ(contacts[contactN++].field[kContactFirstName].str(), "ocr-" + tag);
          break;
        case Kind::TextFieldOut: {
          std::string which = f == KdpField::S1 ? "o1-" : f == KdpField::S2 ? "o2-" : "o3-";
          EXPECT_EQ(textFields[fieldN++].str(), which + tag);
          break;
        }
        default: break;
      }
    }
    ++checked;
  }
  // Every row of the table is either a proxy or one of the cached capabilities.
  EXPECT_EQ(checked + kCapabilityCount, kKdpRequestCount);
}

// The proxies' own signatures drive the marshalling: spot checks of the
// departures from the plain mapping.
TEST_F(ClientTest, ProxiesFollowTheirSignatures) {
  auto server = StartServer("echo");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(1), KernelId(2), 0), 1);

  KernelId first(55);
  EXPECT_EQ(client.FindTracks(first, "Artist", "Album", "Genre"), test::RecordingDevice::AnswerFor("FindTracks"));
  EXPECT_EQ(NextCall(*server), "call FindTracks @1632=0 @840=Artist @1104=Album @1368=Genre");
  EXPECT_EQ(first.key[0], 40201u);

  client.Connect(7);  // the flags are not sent
  EXPECT_EQ(NextCall(*server), "call Connect 0");

  _AUDIODATA record;
  EXPECT_EQ(client.GetTrackInfo(KernelId(3), record), 0);  // R is not read
  EXPECT_EQ(NextCall(*server), "call GetTrackInfo @1632=3 @3540=");
  EXPECT_EQ(record.title.str(), "otr-4040");

  KernelContact contact;
  contact.field[kContactFirstName].Set("Ann");
  KernelId created;
  client.CreateContact("Ann Smith", contact, KernelId(9), created);
  EXPECT_EQ(NextCall(*server), "call CreateContact @840=Ann Smith @10116=Ann @1632=9 @1908=0");
  EXPECT_EQ(created.key[0], 121502u);

  KernelTextField album;
  client.GetFirstAlbum(album, "Someone");
  EXPECT_EQ(NextCall(*server), "call GetFirstAlbum @840= @1104=Someone");
  EXPECT_EQ(album.str(), "o1-4280");

  EXPECT_EQ(client.ReadNote(KernelId(4)), "ReadNote!");
  EXPECT_EQ(NextCall(*server), "call ReadNote @1632=4");
}

TEST_F(ClientTest, ANoteTooLongForTheBlockIsRefusedWhole) {
  auto server = StartServer("echo");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  EXPECT_THROW(client.WriteNote(KernelId(1), std::string(kKdpLongTextSize, 'n')), KernelDeviceClientException);
  std::string fits(kKdpLongTextSize - 1, 'n');
  EXPECT_EQ(client.WriteNote(KernelId(1), fits), test::RecordingDevice::AnswerFor("WriteNote"));
  EXPECT_EQ(NextCall(*server), "call WriteNote @1632=1 @6016=" + fits);
}

// Cut at its field, a statement is another statement, and it would run.
TEST_F(ClientTest, AQueryTooLongForItsFieldIsRefusedWhole) {
  auto server = StartServer("echo");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  std::string head = "SELECT id FROM audio WHERE year = 2000";
  std::string tooLong = head + std::string(230, ' ') + "AND year = 1999";
  KernelId first;
  try {
    client.RunQuery(tooLong, first);
    ADD_FAILURE() << "a statement longer than its field was sent";
  } catch (const KernelDeviceClientException& e) {
    EXPECT_EQ(e.title, "Query Too Long");
  }
  std::string fits = head + std::string(255 - head.size(), ' ');
  EXPECT_EQ(client.RunQuery(fits, first), test::RecordingDevice::AnswerFor("RunQuery"));
  std::string sent = "call RunQuery @840=" + fits + " ";
  EXPECT_EQ(NextCall(*server).substr(0, sent.size()), sent);  // the refused one never went out
}

TEST_F(ClientTest, CapabilitiesAreFetchedOnceInTableOrder) {
  KernelDeviceClient client;
  EXPECT_EQ(client.SupportsPlaylists(), 0);  // not running: no throw, stays out of date

  auto server = StartServer("echo");
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  EXPECT_EQ(client.SupportsPlaylists(), test::RecordingDevice::AnswerFor("SupportsPlaylists"));
  const char* order[] = {"HasMemorySegments",      "SegmentCapability3060", "SupportsTrackOrder",
                         "SupportsTagSearch",      "SupportsQuery",         "SupportsFileTransfer",
                         "TransferCapability5120", "SupportsCopyToComputer", "SupportsPlayOnComputer",
                         "SupportsAudio",          "SupportsDataFiles",     "DataCapability7011",
                         "SupportsPlaylists",      "SupportsDevicePlayback", "SupportsFmPresets",
                         "SupportsNotes",          "SupportsContacts",      "Capability13010"};
  for (const char* name : order) EXPECT_EQ(NextCall(*server), std::string("call ") + name);
  EXPECT_EQ(NextCall(*server), "call none");  // 2130 runs nothing

  EXPECT_EQ(client.SupportsContacts(), test::RecordingDevice::AnswerFor("SupportsContacts"));
  EXPECT_EQ(client.Capability13010(), test::RecordingDevice::AnswerFor("Capability13010"));
  client.Unlock();  // the next line the server logs is this request: nothing was asked meanwhile
  EXPECT_EQ(NextCall(*server), "call Unlock");
}

TEST_F(ClientTest, ARefreshCutShortKeepsItsAnswersAndStartsOverNextTime) {
  auto server = StartServer("drop", "6");  // the sixth request is never answered
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  client.SetCompletionTimeoutForTesting(200);
  EXPECT_EQ(client.SupportsAudio(), 0);  // no message, no exception
  const char* first[] = {"HasMemorySegments", "SegmentCapability3060", "SupportsTrackOrder", "SupportsTagSearch",
                         "SupportsQuery"};
  for (const char* name : first) EXPECT_EQ(NextCall(*server), std::string("call ") + name);
  EXPECT_EQ(NextCall(*server), "dropped");

  client.SetCompletionTimeoutForTesting(10000);
  EXPECT_EQ(client.SupportsQuery(), test::RecordingDevice::AnswerFor("SupportsQuery"));
  EXPECT_EQ(NextCall(*server), "call HasMemorySegments");  // the refresh ran again from the start
  EXPECT_EQ(client.SupportsAudio(), test::RecordingDevice::AnswerFor("SupportsAudio"));
}

TEST_F(ClientTest, ErrorsThrowAndUncheckedOperationsReturnTheirResult) {
  auto server = StartServer("error");
  platform::ui::ScopedUiDriver<> ui;
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  try {
    client.GetTrackArtist(KernelId::FromRecordId(1));
    ADD_FAILURE() << "no exception";
  } catch (const KernelDeviceClientException& e) {
    EXPECT_EQ(e.code, 0x1234u);
    EXPECT_EQ(e.title, "Test Failure");
    EXPECT_EQ(e.text, "The test manager failed.");
  }
  EXPECT_TRUE(ui->Messages().empty());  // an error shows no notice
  EXPECT_EQ(client.GetLastErrorCode(), 32u);
  EXPECT_EQ(client.GetLastErrorText(), "The file is in use.");
  EXPECT_EQ(client.IsConnected(), 1);
  EXPECT_FALSE(client.GetVersion().empty());
}

// A notice is shown from within the request and the result stands.
TEST_F(ClientTest, ANoticeIsShownAndTheOperationSucceeds) {
  auto server = StartServer("memory");
  platform::ui::ScopedUiDriver<> ui;
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  ui->Push(platform::ui::UiAction::Answer(platform::ui::kIdOk));
  client.GetDriverName();  // the memory device answers with a notice
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].caption, "Tarveld Explorer");
  EXPECT_EQ(ui->Messages()[0].text, "Memory driver");
  EXPECT_EQ(ui->Messages()[0].type, 0x40u);
  EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(2)), "artist-2");  // the notice does not survive
  EXPECT_EQ(ui->Messages().size(), 1u);

  ui->Push(platform::ui::UiAction::Answer(platform::ui::kIdOk));
  client.ReportDeviceException("Could not list.", KernelDeviceClientException(0, "Device Connection", "Gone."));
  ASSERT_EQ(ui->Messages().size(), 2u);
  EXPECT_TRUE(ui->Messages()[1].text.starts_with("Could not list.\n\nCode: 0x0\nSource: Device Connection"));
}

TEST_F(ClientTest, AManagerThatNeverAnswersTimesOutWithTheOpcode) {
  auto server = StartServer("hang");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  client.SetCompletionTimeoutForTesting(200);
  try {
    client.GetTrackArtist(KernelId(1));
    ADD_FAILURE() << "no exception";
  } catch (const KernelDeviceClientException& e) {
    EXPECT_EQ(e.code, 4070u);
    EXPECT_EQ(e.title, "Device Timeout");
    EXPECT_EQ(e.text,
              "Your device did not complete an operation within 60 seconds.\n"
              "This is not a crash.  Contact Quorral for help with this issue.");
  }
}

TEST_F(ClientTest, AnExtensionThatRunsOutNamesItsSeconds) {
  auto server = StartServer("extension", "2500");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  try {
    client.SaveDatabase();
    ADD_FAILURE() << "no exception";
  } catch (const KernelDeviceClientException& e) {
    EXPECT_EQ(e.code, 2300u);
    EXPECT_EQ(e.text,
              "Your device did not complete an operation within 2 seconds.\n"
              "This is not a crash.  Contact Quorral for help with this issue.");
  }
}

TEST_F(ClientTest, DisableManagerTimeoutLiftsTheCompletionLimit) {
  EXPECT_EQ(KernelDeviceClient().CompletionTimeoutMs(), 60000u);
  ASSERT_TRUE(WriteSettingDword("Gen_DisableManagerTimeout", 0));
  EXPECT_EQ(KernelDeviceClient().CompletionTimeoutMs(), 60000u);
  ASSERT_TRUE(WriteSettingDword("Gen_DisableManagerTimeout", 1));
  EXPECT_EQ(KernelDeviceClient().CompletionTimeoutMs(), kKdpNoTimeout);
}

TEST_F(ClientTest, ALateAnswerNeverPassesForTheNextRequest) {
  auto server = StartServer("slow", "1500");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  client.SetCompletionTimeoutForTesting(300);
  EXPECT_THROW(client.GetTrackArtist(KernelId::FromRecordId(1)), KernelDeviceClientException);
  client.SetCompletionTimeoutForTesting(10000);
  EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(2)), "artist-2");
  EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(3)), "artist-3");
}

TEST_F(ClientTest, StaleSemaphoreCountsAreDrainedBeforeARequest) {
  auto server = StartServer("memory");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  auto pre = platform::NamedSemaphore::Open(TheProductProfile().preSemaphoreName);
  auto completion = platform::NamedSemaphore::Open(TheProductProfile().completionSemaphoreName);
  ASSERT_TRUE(pre && completion);
  for (int n = 1; n <= 20; ++n) {
    pre->Release();
    completion->Release();
    EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(n)), "artist-" + std::to_string(n));
  }
}

TEST_F(ClientTest, AnAnswerNobodyWroteLeavesTheResultsEmpty) {
  auto server = StartServer("memory");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(4)), "artist-4");
  EXPECT_EQ(client.GetTrackNumber(KernelId::FromRecordId(4)), 4);
  KernelId next;
  EXPECT_EQ(client.GetFirstTrack(next), kMemoryTracksForTest);
  // A device number the manager does not serve: acknowledged, nothing run.
  ASSERT_EQ(client.Attach(7, KernelId(), KernelId(), 0), 1);
  EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(4)), "");
  EXPECT_EQ(client.GetTrackNumber(KernelId::FromRecordId(4)), 0);
  next = KernelId(77);
  EXPECT_EQ(client.GetNextTrack(next), 0);
  EXPECT_EQ(next.key[0], 0u);
}

TEST_F(ClientTest, AKilledManagerIsNotRunningUntilReconnectFindsItsSuccessor) {
  auto server = StartServer("memory");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(1)), "artist-1");

  server->Kill();
  ExpectNotRunning([&] { client.GetTrackArtist(KernelId::FromRecordId(1)); });
  EXPECT_EQ(client.Reconnect(), 0);
  ExpectNotRunning([&] { client.GetTrackArtist(KernelId::FromRecordId(1)); });

  auto successor = StartServer("memory");
  ExpectNotRunning([&] { client.GetTrackArtist(KernelId::FromRecordId(1)); });  // still bound to the dead one
  EXPECT_EQ(client.Reconnect(), 1);
  EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(6)), "artist-6");
}

// True once another open of the request lock is held (a client is inside a request).
bool WaitUntilRequestLockHeld() {
  auto probe = platform::FileLock::Named("KDPREQ" + TheProductProfile().objectNameCode);
  for (int i = 0; i < 2000; ++i) {
    if (!probe.TryLock()) return true;
    probe.Unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// A client stopped (SIGSTOP) inside its request holds the block; another
// client's request ends within its own time-out as busy, instead of waiting on.
TEST_F(ClientTest, AClientStoppedInItsRequestMakesOthersBusyNotStuck) {
  auto server = StartServer("hang");
  ChildProcess stuck({KDP_PEER_PATH, "hammer", "irivmgr", "10", "1"});
  ASSERT_EQ(stuck.ReadLine(kLineTimeoutMs).value_or(""), "ready");
  ASSERT_EQ(::kill(stuck.pid(), SIGUSR1), 0);  // its first request
  ASSERT_TRUE(WaitUntilRequestLockHeld());
  ASSERT_EQ(::kill(stuck.pid(), SIGSTOP), 0);
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  client.SetCompletionTimeoutForTesting(300);
  auto request = std::async(std::launch::async, [&] { client.GetTrackArtist(KernelId(1)); });
  bool ended = request.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  stuck.Kill();  // frees the lock, so a request still waiting ends too
  ASSERT_TRUE(ended) << "the request waited on past its time-out";
  try {
    request.get();
    ADD_FAILURE() << "no exception";
  } catch (const KernelDeviceClientException& e) {
    EXPECT_EQ(e.code, 4070u);
    EXPECT_EQ(e.title, "Device Busy");
    EXPECT_NE(e.text.find("Tarveld Manager is busy"), std::string::npos) << e.text;
  }
}

// A manager killed while a client waits for its answer: the client lets go at
// once (not after its 60-second time-out), and the next request after a
// restart is answered.
TEST_F(ClientTest, AClientWaitingOnAManagerThatDiesLetsGoAtOnce) {
  auto server = StartServer("hang");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  ASSERT_EQ(client.CompletionTimeoutMs(), 60000u);
  auto request = std::async(std::launch::async, [&] { client.GetTrackArtist(KernelId(1)); });
  ASSERT_TRUE(WaitUntilRequestLockHeld());
  server->Kill();
  ASSERT_EQ(request.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  ExpectNotRunning([&] { request.get(); });

  auto successor = StartServer("memory");
  EXPECT_EQ(client.Reconnect(), 1);
  EXPECT_EQ(client.GetTrackArtist(KernelId::FromRecordId(6)), "artist-6");
}

TEST_F(ClientTest, ThreadsOfOneProcessNeverMixTheirRequests) {
  auto server = StartServer("memory");
  KernelDeviceClient client;
  ASSERT_EQ(client.Attach(10, KernelId(), KernelId(), 0), 1);
  std::atomic<int> mismatches{0};
  auto work = [&](int offset) {
    for (int i = 0; i < 200; ++i) {
      int n = (i + offset) % kMemoryTracksForTest + 1;
      if (client.GetTrackArtist(KernelId::FromRecordId(n)) != "artist-" + std::to_string(n)) ++mismatches;
    }
  };
  std::thread a(work, 0), b(work, 17);
  a.join();
  b.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(ClientTest, TwoClientProcessesNeverReadEachOthersResults) {
  auto server = StartServer("memory");
  // A number of requests each, not a time: both start together once both are attached.
  ChildProcess first({KDP_PEER_PATH, "hammer", "irivmgr", "5000", "1"});
  ChildProcess second({KDP_PEER_PATH, "hammer", "irivmgr", "5000", "2"});
  EXPECT_EQ(first.ReadLine(kLineTimeoutMs).value_or(""), "ready");
  EXPECT_EQ(second.ReadLine(kLineTimeoutMs).value_or(""), "ready");
  ::kill(first.pid(), SIGUSR1);
  ::kill(second.pid(), SIGUSR1);
  auto a = first.ReadLine(30000);
  auto b = second.ReadLine(30000);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->starts_with("ok ")) << *a;
  EXPECT_TRUE(b->starts_with("ok ")) << *b;
}

// kdpcall runs one operation by name or number and prints what came back.
TEST_F(ClientTest, KdpcallRunsOperationsByNameAndNumber) {
  ::setenv("HUB_UI_DRIVER", "terminal", 1);  // kdpcall prints its notices as a person would see them
  auto run = [](std::vector<std::string> args, int wantStatus) {
    args.insert(args.begin(), {KDPCALL_PATH, "--product", "irivmgr"});
    ChildProcess call(args);
    std::vector<std::string> lines;
    while (auto line = call.ReadLine(kLineTimeoutMs)) lines.push_back(*line);
    auto status = call.Wait(kLineTimeoutMs);
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == wantStatus) << args[3];
    return lines;
  };
  EXPECT_EQ(run({"GetTrackArtist", "3"}, 1),
            std::vector<std::string>{"error 0x0 Device Connection: Tarveld Manager is not running."});

  auto server = StartServer("memory");
  EXPECT_EQ(run({"GetTrackArtist", "3"}, 0), std::vector<std::string>{"T artist-3"});
  EXPECT_EQ(run({"4090", "7"}, 0), std::vector<std::string>{"R 7"});
  auto created = run({"CreatePlaylist", "Road Trip"}, 0);
  ASSERT_EQ(created.size(), 2u);
  ASSERT_TRUE(created[1].starts_with("id "));
  std::string id = created[1].substr(3, created[1].find(' ', 3) - 3);
  EXPECT_EQ(run({"GetPlaylistName", id}, 0), std::vector<std::string>{"T Road Trip"});
  EXPECT_EQ(run({"SupportsPlaylists"}, 0).size(), 1u);
  auto notice = run({"GetDriverName"}, 0);
  EXPECT_TRUE(std::any_of(notice.begin(), notice.end(),
                          [](const std::string& l) { return l.find("Memory driver") != std::string::npos; }));
  run({"NoSuchOperation"}, 2);
  run({"GetTrackArtist"}, 2);

  // SetTrackInfo changes the fields given and keeps the others.
  EXPECT_EQ(run({"SetTrackInfo", "3", "title=New;year=1999"}, 0), std::vector<std::string>{"R 0"});
  auto record = run({"GetTrackInfo", "3"}, 0);
  for (const char* line : {"track artist=artist-3", "track album=album", "track title=New", "track year=1999"})
    EXPECT_NE(std::find(record.begin(), record.end(), line), record.end()) << line;
}

TEST(ReportDeviceException, TextsNameTheFailureAndTheManager) {
  SelectProduct("irivmgr", TheProductProfile());
  EXPECT_EQ(FormatDeviceExceptionText("Could not create playlist.",
                                      KernelDeviceClientException(0x7B, "Device Timeout", "Too slow.")),
            "Could not create playlist.\n\nCode: 0x7B\nSource: Device Timeout\nDetail: Too slow.\n\n"
            "You may need to terminate and restart Tarveld Manager (irivmgr.exe).");
  EXPECT_EQ(FormatDeviceExceptionText("Could not write tag.",
                                      KernelDeviceClientException(0x8000FFFF, "Driver", "Failed.")),
            "Could not write tag.\n\nCode: 0x8000FFFF\nSource: Driver\nDetail: Failed.\n\n"
            "If this problem persists, try switching driver modes.\nSelect 'Tarveld Manager Options' from the "
            "systray\nicon to access this option.  See our Known Issues page for more details.");
  EXPECT_EQ(FormatDeviceExceptionText("Could not list.", std::runtime_error("out of memory")),
            "Could not list.\n\nDetail: out of memory\n\n"
            "You may need to terminate and restart Tarveld Manager (irivmgr.exe).");
}

// Each proxy's opcode names the operation of the same name in the table.
TEST(KdpOperationCatalog, ProxiesMatchTheirRows) {
  for (const KdpOperation& op : KdpOperations()) {
    ASSERT_TRUE(op.row) << op.opcode;
    EXPECT_EQ(op.row->operation, op.name);
  }
}

}  // namespace
}  // namespace hub
