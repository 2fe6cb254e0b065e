// The namespace's data object and drop targets: formats per COM, the ids a
// selection stands for, the copies staged for the computer, and what each
// drop does on each folder.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/product_profile.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "shell/namespace/data_object.h"
#include "shell/namespace/drop_target.h"
#include "shell/namespace/kernel_id_list.h"
#include "shell/namespace/namespace_listing.h"
#include "shell/namespace/pidl_builder.h"
#include "shell/namespace/selection_commands.h"
#include "shell/namespace/shell_folder.h"
#include "shell/namespace/the_client.h"
#include "shell/namespace/transfer_services.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"

namespace hub {
namespace {

using namespace hub::platform;

class PlayerDevice : public test::MemoryDevice {
 public:
  int SupportsPlaylists() override { return playlists; }
  int SupportsTagSearch() override { return tags; }
  int HasMemorySegments() override { return segments; }
  int playlists = 1;
  int tags = 1;
  int segments = 0;
};

class NamespaceDragTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    // A test that enters a player folder without leaving it (no drag loop)
    // leaves the process's drag marked as over the namespace.
    SetDragOverOwnNamespace(false);
    auto d = std::make_unique<ui::ScriptedUiDriver>();
    script_ = d.get();
    previous_ = ui::SetUiDriver(std::move(d));
    blocks_ = GlobalBlocksOutstanding();
    root_ = new CShellFolder(nullptr, nullptr);
    a1_ = device_.AddTrack("Aurora", "Blue", "Two", 2, "Pop");
    a2_ = device_.AddTrack("Aurora", "Blue", "One", 1, "Pop");
    b1_ = device_.AddTrack("Bram", "Red", "Three", 1, "Rock");
    TransferServices t;
    t.StageTransferToDevice = [this](const KernelId& id, const std::vector<std::string>& paths) {
      staged_.push_back({"txman", id.key[0], paths});
    };
    t.StageDropToDevice = [this](const KernelId& id, const std::vector<std::string>& paths) {
      staged_.push_back({"txdat", id.key[0], paths});
    };
    t.StageTransferToPc = [this](LPCITEMIDLIST, const CPidlList& items, std::string_view target,
                                 std::vector<std::string>& copies) {
      ++pcStagings_;
      if (!pcStagingWorks_) return;
      for (const auto& item : items) copies.push_back(std::string(target) + item.GetName() + ".mp3");
    };
    t.TransferToPc = [this](LPCITEMIDLIST, const CPidlList& selection) { transferToPc_ += selection.GetSize(); };
    saved_ = GetTransferServices();
    InstallTransferServices(t);
    // The item and playlist commands, as far as drops use them.
    SelectionCommands c;
    c.CollectSelectionTrackIds = [this](const CPidlList& selection, SortableKernelIdArray& out) {
      for (const auto& item : selection) gathered_.push_back(std::string(item.Item().Name()));
      out.assign(gatheredIds_.begin(), gatheredIds_.end());
      return true;
    };
    c.CreatePlaylist = [this](bool ask, std::string& name, const std::vector<KernelId>& tracks, bool) {
      EXPECT_FALSE(ask) << "no name dialog";
      KernelId id;
      if (device_.CreatePlaylist(name, id) != 0) return -1;
      AddTo(id, tracks);
      return static_cast<int>(tracks.size());
    };
    c.AddTracksToPlaylist = [this](const KernelId& playlist, const std::vector<KernelId>& tracks) {
      AddTo(playlist, tracks);
      return 1;
    };
    savedCommands_ = GetSelectionCommands();
    InstallSelectionCommands(c);
  }
  void AddTo(const KernelId& playlist, const std::vector<KernelId>& tracks) {
    device_.ClearIdBatch();
    for (const KernelId& id : tracks) device_.AddToIdBatch(id);
    device_.AddBatchToPlaylist(playlist);
  }
  void TearDown() override {
    InstallTransferServices(saved_);
    InstallSelectionCommands(savedCommands_);
    root_->Release();
    records_.reset();
    ForgetTopLevelFolderLists();
    BindClient(nullptr);
    ui::SetUiDriver(std::move(previous_));
    SetGlobalAllocFailureHook(nullptr);
    EXPECT_EQ(GlobalBlocksOutstanding(), blocks_) << "a global block leaked";
  }

  LPCITEMIDLIST Item(uint32_t kind, const KernelId& id, std::string_view name, std::string_view text = "") {
    return records_->BuildPidl(kind, id, 0, name, 0, nullptr, text);
  }
  LPCITEMIDLIST Folder(uint32_t kind, uint32_t sub, std::string_view name, std::string_view text = "") {
    return Item(kind, KernelId(sub), name, text);
  }
  ComPtr<IDataObject> DataOf(std::vector<LPCITEMIDLIST> items) {
    ComPtr<IDataObject> d;
    EXPECT_EQ(root_->GetUIObjectOf(0, static_cast<uint32_t>(items.size()), items.data(), IID_IDataObject, nullptr,
                                   d.Out()),
              S_OK);
    return d;
  }
  ComPtr<IDropTarget> TargetOf(LPCITEMIDLIST folder) {
    ComPtr<IDropTarget> t;
    EXPECT_EQ(root_->GetUIObjectOf(0, 1, &folder, IID_IDropTarget, nullptr, t.Out()), S_OK);
    return t;
  }
  std::vector<KernelId> IdsOf(IDataObject* d, std::string* name = nullptr) {
    auto bytes = TakeFormatBytes(d, KernelIdListFormat());
    if (!bytes) return {};
    auto p = ParseKernelIdList(bytes->data(), bytes->size());
    if (!p) return {};
    if (name) *name = p->draggedName;
    return p->ids;
  }
  // Enter then drop, as DoDragDrop does; answers the effects at enter and at the drop.
  std::pair<uint32_t, uint32_t> DropOn(LPCITEMIDLIST folder, IDataObject* data, uint32_t keys = MK_LBUTTON,
                                       uint32_t allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE) {
    ComPtr<IDropTarget> t = TargetOf(folder);
    uint32_t enter = allowed;
    t->DragEnter(data, keys, ShellPoint{}, &enter);
    uint32_t drop = allowed;
    t->Drop(data, keys, ShellPoint{}, &drop);
    return {enter, drop};
  }
  ComPtr<IDataObject> Files(std::vector<std::string> paths, bool fromNamespace = false) {
    std::vector<StoredFormat> f{{CF_HDROP, BuildDropFiles(paths)}};
    if (fromNamespace) f.push_back({NoTransferToSelfFormat(), {}});
    return ComPtr<IDataObject>(CreateStoredDataObject(f));
  }
  ComPtr<IDataObject> Ids(std::vector<KernelId> ids, std::string name = {}) {
    return ComPtr<IDataObject>(CreateStoredDataObject(
        {{NoTransferToSelfFormat(), {}}, {KernelIdListFormat(), BuildKernelIdList(ids, name)}}));
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : script_->Messages()) out.push_back(m.text);
    return out;
  }

  struct Staged {
    std::string file;
    uint32_t key;
    std::vector<std::string> paths;
  };
  PlayerDevice device_;
  CShellFolder* root_ = nullptr;
  ui::ScriptedUiDriver* script_ = nullptr;
  std::unique_ptr<ui::UiDriver> previous_;
  std::optional<PidlRecordList> records_{std::in_place};
  TransferServices saved_;
  SelectionCommands savedCommands_;
  std::vector<std::string> gathered_;
  std::vector<KernelId> gatheredIds_;
  size_t blocks_ = 0;
  KernelId a1_, a2_, b1_;
  std::vector<Staged> staged_;
  int pcStagings_ = 0;
  bool pcStagingWorks_ = true;
  size_t transferToPc_ = 0;
};

TEST_F(NamespaceDragTest, FormatsByPlaylistSupportAndTheirEnumerationPerCom) {
  for (int playlists : {1, 0}) {
    device_.playlists = playlists;
    ComPtr<IDataObject> d = DataOf({Item(ItemTrack, a1_, "Two")});
    std::vector<FORMATETC> formats = OfferedFormats(d.get());
    ASSERT_EQ(formats.size(), playlists ? 3u : 2u);
    EXPECT_EQ(formats[0].cfFormat, NoTransferToSelfFormat());
    EXPECT_EQ(formats[1].cfFormat, CF_HDROP);
    if (playlists) {
      EXPECT_EQ(formats[2].cfFormat, KernelIdListFormat());
    }
    EXPECT_EQ(OfferedFormats(d.get()).size(), formats.size()) << "a second look sees every format";

    // The object's own enumerator: Skip of exactly the rest succeeds.
    ComPtr<IEnumFORMATETC> e;
    ASSERT_EQ(d->QueryInterface(IID_IEnumFORMATETC, e.Out()), S_OK);
    EXPECT_EQ(e->Skip(static_cast<uint32_t>(formats.size())), S_OK);
    e->Reset();
    EXPECT_EQ(e->Skip(static_cast<uint32_t>(formats.size()) + 1), S_FALSE);
    IEnumFORMATETC* none = nullptr;
    EXPECT_EQ(d->EnumFormatEtc(DATADIR_SET, &none), OLE_S_USEREG);
  }
  ComPtr<IDataObject> d = DataOf({Item(ItemTrack, a1_, "Two")});
  FORMATETC text{1, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(d->QueryGetData(&text), DV_E_FORMATETC) << "CF_TEXT is not offered";
  FORMATETC drop{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(d->QueryGetData(&drop), S_OK);
  STGMEDIUM m;
  EXPECT_EQ(d->GetData(&drop, &m), DV_E_FORMATETC) << "no copies staged yet";
  EXPECT_EQ(m.hGlobal, nullptr);
  EXPECT_EQ(d->GetData(&text, &m), DV_E_FORMATETC);
  FORMATETC aspect{CF_HDROP, nullptr, 4, -1, TYMED_HGLOBAL};
  EXPECT_EQ(d->QueryGetData(&aspect), DV_E_DVASPECT);

  SetGlobalAllocFailureHook([](size_t) { return true; });
  FORMATETC ids{KernelIdListFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(d->GetData(&ids, &m), E_OUTOFMEMORY);
  SetGlobalAllocFailureHook(nullptr);
}

TEST_F(NamespaceDragTest, IdsOfASelection) {
  // Tracks and their groups: the tracks the selection stands for, in the
  // gatherer's order; the dragged name is the first item's.
  gatheredIds_ = {a2_, a1_};
  std::string name;
  auto album = IdsOf(DataOf({Folder(FolderTrackList, kTrackListAlbum, "Blue", "Aurora"), Item(ItemTrack, b1_, "Three")}).get(),
                     &name);
  EXPECT_EQ(album, gatheredIds_);
  ASSERT_EQ(gathered_.size(), 2u) << "every selected item is gathered";
  EXPECT_EQ(gathered_[0], "Blue");
  EXPECT_EQ(name, "Blue");
  // Data files are their own ids, in selection order.
  gathered_.clear();
  KernelId f1 = device_.AddDataFileItem(device_.DataRoot(), "a.txt", 1);
  KernelId f2 = device_.AddDataFileItem(device_.DataRoot(), "b.txt", 1);
  auto data = IdsOf(DataOf({Item(ItemDataFile, f2, "b.txt"), Item(ItemDataFile, f1, "a.txt")}).get());
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(data[0], f2);
  EXPECT_EQ(data[1], f1);
  EXPECT_TRUE(gathered_.empty());
  // Without playlists or tag search no ids are given.
  device_.playlists = device_.tags = 0;
  FORMATETC ids{KernelIdListFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM m;
  EXPECT_EQ(DataOf({Item(ItemTrack, a1_, "Two")})->GetData(&ids, &m), DV_E_FORMATETC);
}

TEST_F(NamespaceDragTest, CopiesForTheComputerAreOfferedOnlyOnceStaged) {
  ASSERT_EQ(root_->Initialize(Folder(FolderSpare, 0, "Player")), S_OK);
  LPCITEMIDLIST track = Item(ItemTrack, a1_, "Two");
  ComPtr<IDataObject> d = DataOf({track});
  auto* object = static_cast<CDataObject*>(d.get());
  object->PrepareDropFiles();
  EXPECT_TRUE(object->FilesReady());
  auto bytes = TakeFormatBytes(d.get(), CF_HDROP);
  ASSERT_TRUE(bytes);
  auto paths = ParseDropFiles(bytes->data(), bytes->size());
  ASSERT_TRUE(paths && paths->size() == 1);
  EXPECT_NE(paths->front().find("tx2pc"), std::string::npos);

  // Copies the staging names twice (tracks in one folder) are offered once.
  ComPtr<IDataObject> pair = DataOf({track, track});
  static_cast<CDataObject*>(pair.get())->PrepareDropFiles();
  auto pairBytes = TakeFormatBytes(pair.get(), CF_HDROP);
  ASSERT_TRUE(pairBytes);
  auto pairPaths = ParseDropFiles(pairBytes->data(), pairBytes->size());
  ASSERT_TRUE(pairPaths);
  EXPECT_EQ(pairPaths->size(), 1u) << ::testing::PrintToString(*pairPaths);

  // Eleven items are not staged; a staging that copies nothing offers nothing.
  std::vector<LPCITEMIDLIST> eleven(11, track);
  ComPtr<IDataObject> many = DataOf(eleven);
  auto* manyObject = static_cast<CDataObject*>(many.get());
  int before = pcStagings_;
  manyObject->PrepareDropFiles();
  EXPECT_EQ(pcStagings_, before);
  EXPECT_TRUE(manyObject->TooManyFiles());
  EXPECT_FALSE(manyObject->FilesReady());
  pcStagingWorks_ = false;
  object->PrepareDropFiles();
  EXPECT_FALSE(object->FilesReady());
  EXPECT_FALSE(TakeFormatBytes(d.get(), CF_HDROP));
}

TEST_F(NamespaceDragTest, WhatEachFolderAcceptsAtEnter) {
  struct Case {
    const char* what;
    LPCITEMIDLIST folder;
    ComPtr<IDataObject> data;
    uint32_t keys;
    uint32_t allowed;
    uint32_t effect;
  };
  const uint32_t copyMove = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  Case cases[] = {
      {"ids on Audio Tracks", Folder(FolderTrackList, kTrackListAll, "Audio Tracks"), Ids({a1_}), MK_LBUTTON, copyMove,
       DROPEFFECT_NONE},
      {"ids on Search", Folder(FolderTrackList, kTrackListSearch, "Search"), Ids({a1_}), MK_LBUTTON, copyMove,
       DROPEFFECT_COPY},
      {"ids on Last Transfer", Folder(FolderTrackList, kTrackListLastTransfer, "Last"), Ids({a1_}), MK_LBUTTON,
       copyMove, DROPEFFECT_COPY},
      {"ids on a genre", Folder(FolderTrackList, kTrackListGenre, "Jazz"), Ids({a1_}), MK_LBUTTON, copyMove,
       DROPEFFECT_COPY},
      {"ids on Playlists", Folder(FolderCategory, 1, "Playlists"), Ids({a1_}), MK_LBUTTON, copyMove, DROPEFFECT_COPY},
      {"ids on Artists", Folder(FolderCategory, 2, "Artists"), Ids({a1_}), MK_LBUTTON, copyMove, DROPEFFECT_NONE},
      {"files on Audio Tracks", Folder(FolderTrackList, kTrackListAll, "Audio Tracks"), Files({"/a.mp3"}), MK_LBUTTON,
       copyMove, DROPEFFECT_COPY},
      {"the namespace's own files on Audio Tracks", Folder(FolderTrackList, kTrackListAll, "Audio Tracks"),
       Files({"/a.mp3"}, true), MK_LBUTTON, copyMove, DROPEFFECT_NONE},
      {"files on a data folder", Item(FolderData, KernelId(7), "Docs"), Files({"/a.txt"}), MK_LBUTTON, copyMove,
       DROPEFFECT_COPY},
      {"files on a playlist", Item(FolderPlaylist, KernelId(3), "Mix"), Files({"/a.mp3"}), MK_LBUTTON, copyMove,
       DROPEFFECT_NONE},
      {"middle button, link allowed", Folder(FolderTrackList, kTrackListGenre, "Jazz"), Ids({a1_}),
       MK_LBUTTON | MK_MBUTTON, copyMove | DROPEFFECT_LINK, DROPEFFECT_LINK},
      {"middle button, link not allowed", Folder(FolderTrackList, kTrackListGenre, "Jazz"), Ids({a1_}),
       MK_LBUTTON | MK_MBUTTON, copyMove, DROPEFFECT_COPY},
  };
  for (auto& c : cases) {
    ComPtr<IDropTarget> t = TargetOf(c.folder);
    uint32_t effect = c.allowed;
    ASSERT_EQ(t->DragEnter(c.data.get(), c.keys, ShellPoint{}, &effect), S_OK) << c.what;
    EXPECT_EQ(effect, c.effect) << c.what << " (enter)";
    effect = c.allowed;
    t->DragOver(c.keys, ShellPoint{}, &effect);
    EXPECT_EQ(effect, c.effect) << c.what << " (over)";
    t->DragLeave();
  }
  EXPECT_FALSE(DragOverOwnNamespace()) << "leave clears it";
}

TEST_F(NamespaceDragTest, DroppedIdsChangeTagsQueuePlaylistsOrNothing) {
  // Three tracks on a genre: asked, and yes rewrites the genre.
  script_->Push({ui::UiAction::Answer(ui::kIdYes), ui::UiAction::Answer(ui::kIdOk)});
  auto effects = DropOn(Folder(FolderTrackList, kTrackListGenre, "Jazz"), Ids({a1_, a2_, b1_}).get());
  EXPECT_EQ(effects.second, DROPEFFECT_COPY);
  ASSERT_GE(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0], "This will change the genre to 'Jazz' on 3 tracks.  Are you sure?");
  EXPECT_EQ(device_.FindRecord(b1_)->genre.str(), "Jazz");
  EXPECT_EQ(Messages()[1], "Changed genre to 'Jazz' on 3 tracks.");

  // "[ All: X ]" writes X, not the row's name.
  script_->Push({ui::UiAction::Answer(ui::kIdYes), ui::UiAction::Answer(ui::kIdOk)});
  DropOn(Folder(FolderTrackList, kTrackListArtist, "[ All: Bram ]", "Bram"), Ids({a1_}).get());
  EXPECT_EQ(device_.FindRecord(a1_)->artist.str(), "Bram");

  // No leaves the tags alone.
  script_->Push(ui::UiAction::Answer(ui::kIdNo));
  effects = DropOn(Folder(FolderTrackList, kTrackListAlbum, "Other"), Ids({a1_}).get());
  EXPECT_EQ(effects.second, DROPEFFECT_NONE);
  EXPECT_EQ(device_.FindRecord(a1_)->album.str(), "Blue");

  // One track on the Active Queue.
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  DropOn(Folder(FolderTrackList, kTrackListQueue, "Active Queue"), Ids({b1_}).get());
  EXPECT_EQ(Messages().back(), "1 track queued.");

  // Search and Last Transfer take the drag but the drop does nothing.
  size_t messages = Messages().size();
  for (uint32_t sub : {kTrackListSearch, kTrackListLastTransfer}) {
    effects = DropOn(Folder(FolderTrackList, sub, "x"), Ids({a1_}).get());
    EXPECT_EQ(effects.first, DROPEFFECT_COPY) << sub;
    EXPECT_EQ(effects.second, DROPEFFECT_NONE) << sub;
  }
  EXPECT_EQ(Messages().size(), messages);
}

TEST_F(NamespaceDragTest, DroppedIdsMakeAndFillPlaylists) {
  // An album on Playlists: a playlist of its name, no name dialog; the name
  // comes with the ids, so a drop in another process finds it too.
  SetLastDraggedName({});
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  DropOn(Folder(FolderCategory, 1, "Playlists"), Ids({a2_, a1_}, "Blue").get());
  EXPECT_EQ(Messages().back(), "Playlist 'Blue' created with 2 tracks.");
  KernelId made;
  ASSERT_TRUE(device_.GetFirstPlaylist(made));
  EXPECT_EQ(device_.GetPlaylistName(made), "Blue");
  // A track on that playlist is appended.
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  DropOn(Item(FolderPlaylist, made, "Blue"), Ids({b1_}).get());
  std::vector<KernelId> items;
  KernelId item;
  for (int more = device_.GetFirstPlaylistItem(made, item); more; more = device_.GetNextPlaylistItem(made, item))
    items.push_back(item);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[2].key[0], b1_.key[0]);
}

TEST_F(NamespaceDragTest, DroppedFilesAreStagedByFolder) {
  DropOn(Item(FolderData, KernelId(7), "Docs"), Files({"/home/u/a b.txt"}).get());
  DropOn(Folder(FolderTrackList, kTrackListAll, "Audio Tracks"), Files({"/m/x.mp3", "/m/y.flac"}).get());
  ASSERT_EQ(staged_.size(), 2u);
  EXPECT_EQ(staged_[0].file, "txdat");
  EXPECT_EQ(staged_[0].key, 7u);
  EXPECT_EQ(staged_[0].paths, std::vector<std::string>{"/home/u/a b.txt"});
  EXPECT_EQ(staged_[1].file, "txman");
  EXPECT_EQ(staged_[1].paths, (std::vector<std::string>{"/m/x.mp3", "/m/y.flac"}));

  // The root: staged without a target, unless the player has memory segments.
  ComPtr<IDropTarget> root;
  ASSERT_EQ(root_->CreateViewObject(0, IID_IDropTarget, root.Out()), S_OK);
  ComPtr<IDataObject> f = Files({"/m/z.mp3"});
  uint32_t effect = DROPEFFECT_COPY;
  root->DragEnter(f.get(), MK_LBUTTON, ShellPoint{}, &effect);
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  root->Drop(f.get(), 0, ShellPoint{}, &effect);
  ASSERT_EQ(staged_.size(), 3u);
  EXPECT_EQ(staged_[2].key, 0u);
  device_.segments = 1;
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  root->Drop(f.get(), 0, ShellPoint{}, &effect);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  EXPECT_EQ(Messages().back(), "Please drop directly to either Internal Memory or the SmartMedia card.");
}

TEST_F(NamespaceDragTest, BadPayloadsAreRefusedAndMediaReleasedByTheirOwner) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
  } cases[] = {
      {"short", std::vector<uint8_t>(100, 0), "The drop object is invalid."},
      {"a count past the end", [] { auto b = BuildKernelIdList({KernelId(1)}); b[0] = 9; return b; }(),
       "The drop object is invalid."},
      {"no ids", BuildKernelIdList({}), "The drop object contained no items."},
  };
  LPCITEMIDLIST queue = Folder(FolderTrackList, kTrackListQueue, "Active Queue");
  for (const auto& c : cases) {
    script_->Push(ui::UiAction::Answer(ui::kIdOk));
    ComPtr<IDataObject> d(CreateStoredDataObject({{KernelIdListFormat(), c.bytes}}));
    EXPECT_EQ(DropOn(queue, d.get()).second, DROPEFFECT_NONE) << c.what;
    EXPECT_EQ(Messages().back(), c.message) << c.what;
  }
  // A medium whose provider keeps the block is released through its object.
  struct Owner final : IUnknown {
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return ++refs; }
    uint32_t Release() override { return --refs; }
    uint32_t refs = 1;
  } owner;
  HGLOBAL block = MakeKernelIdListBlock({b1_});
  STGMEDIUM m{TYMED_HGLOBAL, block, &owner};
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  EXPECT_EQ(DropKernelIds(m, CPidlLast::FromItem(queue)), 1);
  EXPECT_EQ(owner.refs, 0u);
  EXPECT_EQ(GlobalSize(block), BuildKernelIdList({b1_}).size()) << "the provider's block is left to it";
  GlobalFree(block);
}

TEST_F(NamespaceDragTest, EscapeCopiesNothingAndLargeDragsHandOverToCopyToComputer) {
  ScopedWindowClass cls("HubNsDragPlace", [](WindowHandle h, uint32_t m, uint64_t w, int64_t l) {
    return DefaultWindowProc(h, m, w, l);
  });
  WindowHandle place = CreateHiddenWindow("HubNsDragPlace", "computer");
  ComPtr<IDataObject> accepting(CreateStoredDataObject({}));
  struct Computer final : IDropTarget {
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return 2; }
    uint32_t Release() override { return 1; }
    HRESULT DragEnter(IDataObject*, uint32_t, ShellPoint, uint32_t* e) override { *e = DROPEFFECT_COPY; return S_OK; }
    HRESULT DragOver(uint32_t, ShellPoint, uint32_t* e) override { *e = DROPEFFECT_COPY; return S_OK; }
    HRESULT DragLeave() override { return S_OK; }
    HRESULT Drop(IDataObject* data, uint32_t, ShellPoint, uint32_t* e) override {
      dropped = TakeFormatBytes(data, CF_HDROP).has_value();
      *e = DROPEFFECT_COPY;
      return S_OK;
    }
    bool dropped = false;
  } computer;
  ASSERT_EQ(RegisterDragDrop(place, &computer), S_OK);
  ASSERT_EQ(root_->Initialize(Folder(FolderSpare, 0, "Player")), S_OK);
  LPCITEMIDLIST track = Item(ItemTrack, a1_, "Two");
  {
    ComPtr<IDataObject> d = DataOf({track});
    ComPtr<IDropSource> source(new CDropSource(static_cast<CDataObject*>(d.get())));
    script_->PushDragSteps({ui::DragStep::Over(place), ui::DragStep::Escape()});
    uint32_t effect = 0;
    EXPECT_EQ(DoDragDrop(d.get(), source.get(), DROPEFFECT_COPY, &effect), DRAGDROP_S_CANCEL);
    EXPECT_EQ(pcStagings_, 0) << "Escape copies nothing";
    script_->PushDragSteps({ui::DragStep::Over(place), ui::DragStep::Release()});
    EXPECT_EQ(DoDragDrop(d.get(), source.get(), DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(pcStagings_, 1);
    EXPECT_TRUE(computer.dropped) << "the staged copies are the dropped files";
  }
  RevokeDragDrop(place);
  DestroyWindow(place);
}

}  // namespace
}  // namespace hub
