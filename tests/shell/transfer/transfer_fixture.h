// Shared set-up of the transfer dialog tests: an in-memory player that
// answers chosen result codes and sends the copy worker's messages from a
// thread of its own, tagged MP3 files, and a dialog bound to both.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "metadata/metadata_fixture.h"
#include "platform/registry/registry.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/the_client.h"
#include "shell/transfer/engine_services.h"
#include "shell/transfer/transfer_dialog.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub::test {

// A player whose adds answer the codes queued in `answers` (0 when none is
// left). An add answering 0 is copied "asynchronously": a thread sends 50%
// and then the completion (lParam `doneLParam`) unless `complete` is false.
class ScriptedPlayer : public MemoryDevice {
 public:
  ~ScriptedPlayer() override { JoinSenders(); }

  int AddTrackFile(std::string_view path, const _AUDIODATA& record, KernelId& newId) override {
    sent.emplace_back(path);
    const int code = Next();
    if (code == 0 || code == 9) {
      _AUDIODATA stored = record;
      stored.path.Set(path);
      newId = AddTrack(stored);
    }
    if (code == 0) Complete(newId.key[0]);
    return code;
  }
  int AddDataFile(std::string_view path, const KernelId& folder, KernelId& newId) override {
    sent.emplace_back(path);
    const int code = Next();
    if (code == 0 || code == 9) MemoryDevice::AddDataFile(path, folder, newId);
    if (code == 0) Complete(newId.key[0]);
    return code;
  }
  int AddTrackRecord(const _AUDIODATA&) override { return 0; }
  // Names are unique on the player, as the real ones keep them.
  int CreatePlaylist(std::string_view name, KernelId& newId) override {
    if (!playlistNames.insert(std::string(name)).second) return 4;  // the name is taken
    return MemoryDevice::CreatePlaylist(name, newId);
  }
  int SaveDatabase() override {
    ++saves;
    return 0;
  }
  int SelectSegment(const KernelId& segment) override {
    segments.push_back(segment.key[0]);
    return 0;
  }
  int GetTrackInfo(const KernelId& id, _AUDIODATA& record) override {
    if (throwOnTrackInfo) throw std::runtime_error("gone");
    return MemoryDevice::GetTrackInfo(id, record);
  }
  void JoinSenders() {
    for (auto& t : senders) t.join();
    senders.clear();
  }

  std::deque<int> answers;
  int64_t doneLParam = 0;
  bool complete = true;
  bool throwOnTrackInfo = false;
  std::function<void()> onAdd;  // runs inside each add (a Ctrl-C, a press)
  std::vector<std::string> sent;
  std::vector<uint32_t> segments;
  std::set<std::string> playlistNames;
  int saves = 0;
  std::vector<std::thread> senders;

 private:
  int Next() {
    if (onAdd) onAdd();
    if (answers.empty()) return 0;
    const int code = answers.front();
    answers.pop_front();
    return code;
  }
  void Complete(uint32_t key) {
    if (!complete) return;
    const auto window = ProgressWindow();
    const int64_t lParam = doneLParam;
    senders.emplace_back([window, key, lParam] {
      platform::SendWindowMessage(window, 0x7E8, 50, 0, 5000);
      platform::SendWindowMessage(window, 0x7E9, key, lParam, 5000);
    });
  }
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A small MP3 whose ID3v2.3 tag holds the texts given (empty ones left out).
inline void MakeTaggedMp3(const std::string& path, std::string_view artist, std::string_view album,
                          std::string_view title) {
  std::vector<uint8_t> frames;
  if (!artist.empty()) Append(frames, Id3Frame(3, "TPE1", Latin1Body(artist)));
  if (!album.empty()) Append(frames, Id3Frame(3, "TALB", Latin1Body(album)));
  if (!title.empty()) Append(frames, Id3Frame(3, "TIT2", Latin1Body(title)));
  std::vector<uint8_t> file = frames.empty() ? std::vector<uint8_t>{} : Id3Tag(3, frames);
  for (int i = 0; i < 8; ++i) {
    Append(file, FrameHeader());
    file.resize(file.size() + 413, 0);
  }
  WriteBytes(path, file);
}

class TransferTest : public MetadataTest {
 protected:
  void SetUp() override {
    MetadataTest::SetUp();
    InstallTransferEngineServices();
    BindClient(&player_);
    dialog_ = std::make_unique<CTransferDialog>();
    dialog_->SetDeviceLink({&player_, [this] { return lastErrorCode_; }, [this] { return lastErrorText_; },
                            [this] { return managerAlive_ ? managerAlive_() : true; }});
    dialog_->CreateTransferWindow();
    // The dialog returns at its end unless a test wants the wait for Close.
    WriteSettingDword("Gen_Tx_AutoCloseDialog", 1);
    music_ = MakeTempDir("music");
    log_ = std::make_unique<TransferLogFile>();
    log_->Open();
  }
  void TearDown() override {
    player_.JoinSenders();
    dialog_->DestroyTransferWindow();
    dialog_.reset();
    BindClient(nullptr);
    SetMessageOwner(0);
  }
  std::string Mp3(const std::string& name, std::string_view artist = "Artist", std::string_view album = "Album",
                  std::string_view title = "Title") {
    std::string path = music_ + "/" + name;
    MakeTaggedMp3(path, artist, album, title);
    return path;
  }
  std::string TextFile(const std::string& name) {
    std::string path = music_ + "/" + name;
    std::ofstream(path) << "notes";
    return path;
  }
  void Run(std::vector<std::string> files, const TransferGroups& groups = {}, bool sync = false) {
    dialog_->RunTransfer(*log_, KernelId(1), std::move(files), groups, sync, false);
    player_.JoinSenders();
  }
  std::string Log() const { return Slurp(GetTransferLogPath()); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : ui_->Messages()) out.push_back(m.text);
    return out;
  }

  platform::ui::ScopedUiDriver<> ui_;
  ScriptedPlayer player_;
  std::unique_ptr<CTransferDialog> dialog_;
  std::unique_ptr<TransferLogFile> log_;
  std::string music_;
  uint32_t lastErrorCode_ = 0;
  std::string lastErrorText_;
  std::function<bool()> managerAlive_;
};

}  // namespace hub::test
