// What the command tests share: a player in memory that answers as the real
// families do where the commands depend on it (a taken playlist name, saves,
// notes and contacts), with failures on demand, and selections built from
// item records as a folder lists them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/ui/driver.h"
#include "platform/ui/prompts.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/pidl_builder.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub::test {

class CommandDevice : public MemoryDevice {
 public:
  int saves = 0;
  // Operations that throw as a client does when the manager is gone.
  std::vector<std::string> failing;
  // What a refused CreatePlaylist leaves in its output id (the id of nothing in particular).
  KernelId leftOnRefusal;
  int noteAnswer = 0;
  std::vector<std::string> notes;
  std::vector<KernelId> deletedTracks;

  void Fail(const std::string& op) {
    for (const std::string& f : failing)
      if (f == op) throw KernelDeviceClientException(0x80004005, op, "the manager went away");
  }
  int SaveDatabase() override {
    Fail("SaveDatabase");
    ++saves;
    return 0;
  }
  // As the families answer: 4 for a name that is taken, exactly.
  int CreatePlaylist(std::string_view name, KernelId& newId) override {
    Fail("CreatePlaylist");
    KernelId id;
    for (int more = GetFirstPlaylist(id); more; more = GetNextPlaylist(id))
      if (GetPlaylistName(id) == name) {
        newId = leftOnRefusal;
        return 4;
      }
    return MemoryDevice::CreatePlaylist(name, newId);
  }
  int AddBatchToPlaylist(const KernelId& playlist) override {
    Fail("AddBatchToPlaylist");
    return MemoryDevice::AddBatchToPlaylist(playlist);
  }
  int GetFirstPlaylistItem(const KernelId& playlist, KernelId& item) override {
    Fail("GetFirstPlaylistItem");
    return MemoryDevice::GetFirstPlaylistItem(playlist, item);
  }
  int DeleteTrack(const KernelId& id) override {
    Fail("DeleteTrack");
    deletedTracks.push_back(id);
    return MemoryDevice::DeleteTrack(id);
  }
  std::vector<std::string> deletedFolders;
  int DataItemOp7120(const KernelId& id) override {
    deletedFolders.push_back(GetDataItemName(id));
    return MemoryDevice::DeleteDataItem(id);
  }
  int SupportsNotes() override { return 1; }
  int CreateNote(std::string_view name, const KernelId&, KernelId& newId) override {
    Fail("CreateNote");
    if (noteAnswer) return noteAnswer;
    notes.emplace_back(name);
    newId = KernelId(static_cast<uint32_t>(notes.size()));
    return 0;
  }
  int CreateContact(std::string_view name, const KernelContact&, const KernelId&, KernelId& newId) override {
    Fail("CreateContact");
    if (noteAnswer) return noteAnswer;
    notes.push_back("contact " + std::string(name));
    newId = KernelId(static_cast<uint32_t>(notes.size()));
    return 0;
  }
  std::vector<std::string> PlaylistNames() {
    std::vector<std::string> names;
    KernelId id;
    for (int more = GetFirstPlaylist(id); more; more = GetNextPlaylist(id)) names.push_back(GetPlaylistName(id));
    return names;
  }
  KernelId PlaylistNamed(const std::string& name) {
    KernelId id;
    for (int more = GetFirstPlaylist(id); more; more = GetNextPlaylist(id))
      if (GetPlaylistName(id) == name) return id;
    return KernelId();
  }
  std::vector<uint32_t> Entries(const KernelId& playlist) {
    std::vector<uint32_t> keys;
    KernelId e;
    for (int more = MemoryDevice::GetFirstPlaylistItem(playlist, e); more; more = GetNextPlaylistItem(playlist, e))
      keys.push_back(e.key[0]);
    return keys;
  }
};

// Item records made as a listing makes them; the selection refers into them.
class Items {
 public:
  CPidlLast Add(uint32_t kind, const KernelId& id, std::string_view name = "", std::string_view text = "") {
    _AUDIODATA track;
    track.Init();
    LPCITEMIDLIST p = records_.BuildPidl(kind, id, static_cast<uint32_t>(records_.size()), name, 0, &track, text);
    return CPidlLast::FromItem(p);
  }
  CPidlList Of(std::initializer_list<CPidlLast> items) {
    CPidlList list;
    for (const CPidlLast& i : items) list.Add(i);
    return list;
  }

 private:
  PidlRecordList records_;
};

// The product, a private store, the bound device and a script of answers.
class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    ForgetTopLevelFolderLists();
  }
  void TearDown() override {
    BindClient(nullptr);
    EXPECT_EQ(platform::ui::WaitCursorDepth(), 0) << "the wait cursor ends on every path";
  }
  // The texts of the boxes shown so far.
  std::vector<std::string> Shown() const {
    std::vector<std::string> texts;
    for (const auto& m : ui_->Messages()) texts.push_back(m.text);
    return texts;
  }
  // The first line of the last box (a device report starts with the context).
  std::string LastShown() const {
    if (ui_->Messages().empty()) return {};
    const std::string& t = ui_->Messages().back().text;
    return t.substr(0, t.find('\n'));
  }
  void AnswerName(const std::string& name) {
    ui_->Push({platform::ui::UiAction::Set(1008, name), platform::ui::UiAction::Press(platform::ui::kIdOk)});
  }
  void AnswerOk() { ui_->Push(platform::ui::UiAction::Answer(platform::ui::kIdOk)); }

  platform::ui::ScopedUiDriver<> ui_;
  CommandDevice device_;
  Items items_;
};

}  // namespace hub::test
