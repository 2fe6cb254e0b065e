// nshost: the namespace host. It registers a build of the shell library as a
// namespace junction, opens the registered namespace the way Explorer does
// (class object, folder, Initialize with an absolute list that starts with
// the host's own item) and owns an Explorer window with its folder tree, so
// the manager's refreshes reach it. Commands come from a terminal or a script.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com/module_loader.h"
#include "platform/com/shell_allocator.h"
#include "platform/kernel/clock.h"
#include "platform/registry/registry.h"
#include "platform/shell/change_notify.h"
#include "platform/shell/clipboard.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/drop_files.h"
#include "platform/shell/stored_data_object.h"
#include "platform/shell/image_list.h"
#include "platform/shell/model_browser.h"
#include "platform/shell/module_info.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/driver.h"
#include "platform/ui/pump.h"
#include "platform/ui/ui_window.h"
#include "platform/utf8.h"
#include "platform/window/window.h"
#include "shell/namespace/pidl_data.h"
#include "transfer_verbs.h"
#include "view_table.h"
#include "platform/program_main.h"

namespace {

using namespace hub::platform;
using namespace hub::nshost;

constexpr const char* kClassesKey = "Software\\Classes\\CLSID\\";
constexpr const char* kJunctionsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace";
constexpr const char* kExplorerClass = "CabinetWClass";
constexpr const char* kTreeClass = "SysTreeView32";
constexpr uint32_t kVkF5 = 0x74;
// The command the manager posts to the namespace's views, and its re-read code.
constexpr uint32_t kNamespaceCommand = 0x1FB0;
constexpr int64_t kNamespaceAfterConnect = 3005;

using GetClassObjectFn = HRESULT (*)(const CLSID&, const IID&, void**);
using NoArgumentFn = HRESULT (*)();

struct CommandError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string ResultName(HRESULT hr) {
  if (hr == S_OK) return "S_OK";
  if (hr == S_FALSE) return "S_FALSE";
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(hr));
  return buf;
}

ModuleInfo QueryInfo(const LoadedModule& m) {
  ModuleInfo info;
  auto entry = m.Function<DllMainFunction>("DllMain");
  if (!entry || !entry(nullptr, kDllQueryModuleInfo, &info)) throw CommandError(m.path() + " says nothing about itself");
  return info;
}

LoadedModule LoadOrThrow(const std::string& path) {
  std::string error;
  auto m = LoadedModule::Load(path, &error);
  if (!m) throw CommandError("cannot load " + path + ": " + error);
  return std::move(*m);
}

std::string ReadDefault(const std::string& key) {
  auto v = Registry::Instance().Read(Hive::CurrentUser, key, "");
  return v && v->type == ValueType::String ? v->data : std::string();
}

// The host's own first item of every absolute list ("My Computer"), then the
// junction's item naming the class id: both foreign to the library.
void* MakeJunctionList(const CLSID& clsid) {
  const char computer[] = "host:my-computer";
  std::string junction = "host:junction:" + GuidToString(clsid);
  size_t a = 2 + sizeof computer;
  size_t b = 2 + junction.size() + 1;
  auto* p = static_cast<uint8_t*>(ShellAllocator().Alloc(a + b + 2));
  if (!p) return nullptr;
  WriteLittleEndian16(p, static_cast<uint16_t>(a));
  std::memcpy(p + 2, computer, sizeof computer);
  WriteLittleEndian16(p + a, static_cast<uint16_t>(b));
  std::memcpy(p + a + 2, junction.c_str(), junction.size() + 1);
  WriteLittleEndian16(p + a + b, 0);
  return p;
}

std::string Utf8(const char16_t* w) {
  std::string out;
  for (; w && *w; ++w) {
    uint32_t c = *w;
    if (c >= 0xD800 && c < 0xDC00 && w[1] >= 0xDC00 && w[1] < 0xE000) c = 0x10000 + ((c - 0xD800) << 10) + (*++w - 0xDC00);
    hub::platform::AppendUtf8(out, c);
  }
  return out;
}

// Frees a list the library handed over.
struct FreeList {
  void operator()(ITEMIDLIST* p) const { ShellAllocator().Free(p); }
};
using HeldList = std::unique_ptr<ITEMIDLIST, FreeList>;

// What the host reads of an item it lists: the library's record layout.
struct ItemView {
  uint32_t kind = 0;
  uint32_t position = 0;
  uint32_t count = 0;
  uint32_t key[4] = {};
  bool operator==(const ItemView& o) const {
    return kind == o.kind && position == o.position && std::equal(key, key + 4, o.key);
  }
};
ItemView ReadItem(LPCITEMIDLIST item) {
  ItemView v;
  const uint8_t* p = IdListBytes(item);
  if (ReadLittleEndian16(p) < hub::kPidlRecordSize) return v;
  v.kind = ReadLittleEndian32(p + hub::pidl_offset::kKind);
  v.position = ReadLittleEndian32(p + hub::pidl_offset::kPosition);
  v.count = ReadLittleEndian32(p + hub::pidl_offset::kCount);
  for (int w = 0; w < 4; ++w) v.key[w] = ReadLittleEndian32(p + hub::pidl_offset::kId + 4 * static_cast<size_t>(w));
  return v;
}

std::string KindName(uint32_t kind) {
  static const std::map<uint32_t, const char*> kNames = {
      {hub::FolderSpare, "folder"}, {hub::FolderSegment, "segment"}, {hub::FolderFmTuner, "fm-tuner"},
      {hub::FolderTrackList, "track-list"}, {hub::FolderCategory, "category"}, {hub::FolderPlaylist, "playlist"},
      {hub::FolderDeviceInfo, "device-info"}, {hub::FolderData, "data-folder"}, {hub::FolderNotes, "notes"},
      {hub::FolderContacts, "contacts"}, {hub::FolderUtilities, "utilities"}, {hub::ItemFmPreset, "fm-preset"},
      {hub::ItemTrack, "track"}, {hub::ItemDataFile, "data-file"}, {hub::ItemPlaylistEntry, "playlist-entry"},
      {hub::ItemQueueEntry, "queue-entry"}, {hub::ItemInfoLine, "info"}, {hub::ItemMessageLine, "message"},
      {hub::ItemMessageHead, "message"}, {hub::ItemLink, "link"}, {hub::ItemCommandLink, "command"},
      {hub::ItemTrackWithPlaylists, "track+playlists"}, {hub::ItemNotice, "notice"}, {hub::ItemNote, "note"},
      {hub::ItemContact, "contact"}, {hub::ItemUtility, "utility"}};
  auto it = kNames.find(kind);
  return it == kNames.end() ? "?" : it->second;
}

bool IsMessageKind(uint32_t kind) {
  return kind == hub::ItemMessageHead || kind == hub::ItemMessageLine || kind == hub::ItemLink || kind == hub::ItemNotice;
}

// "F" folder, "S" sub-folders, "D" drop target; "-" where absent.
std::string AttributeLetters(uint32_t a) {
  std::string s;
  s += (a & SFGAO_FOLDER) ? 'F' : '-';
  s += (a & SFGAO_HASSUBFOLDER) ? 'S' : '-';
  s += (a & SFGAO_DROPTARGET) ? 'D' : '-';
  return s;
}

// The opened namespace: the library, its folder and what it said at start.
struct OpenNamespace {
  std::string name;  // the Explorer name the registration gave it
  CLSID clsid;
  std::optional<LoadedModule> module;
  ComPtr<IShellFolder> folder;
};

// The host's user-interface driver: the one chosen for the session, plus
// what the view's verbs need of menus. A menu the script did not answer is
// printed and dismissed; "col NAME on|off" picks the item by its text.
class HostUiDriver : public ui::UiDriver {
 public:
  HostUiDriver(std::unique_ptr<ui::UiDriver> inner, ui::ScriptedUiDriver* script)
      : inner_(std::move(inner)), script_(script) {}
  const char* Name() const override { return inner_->Name(); }
  // A script sees every box; one with only OK that nothing is scripted for is taken as read.
  int AskMessageBox(const ui::MessageBoxRequest& r) override {
    if (!script_) return inner_->AskMessageBox(r);
    std::printf("message: %s\n", r.text.c_str());
    if (r.Buttons() == std::vector<int>{ui::kIdOk} && script_->Pending() == 0) return ui::kIdOk;
    return inner_->AskMessageBox(r);
  }
  // What a shortcut verb said it answers (a name, a folder) goes first.
  void RunModal(ui::Window& w) override {
    while (!w.IsEnded() && !preanswers_.empty() && preanswers_.front().kind != ui::UiAction::Kind::PickFolder) {
      ui::UiAction a = preanswers_.front();
      preanswers_.pop_front();
      w.ApplyAction(a);
    }
    if (!w.IsEnded()) inner_->RunModal(w);
  }
  std::optional<std::string> ChooseFolder(const ui::FolderRequest& r) override {
    if (!preanswers_.empty() && preanswers_.front().kind == ui::UiAction::Kind::PickFolder) {
      std::string folder = preanswers_.front().text;
      preanswers_.pop_front();
      return folder;
    }
    return inner_->ChooseFolder(r);
  }
  void Preanswer(std::initializer_list<ui::UiAction> actions) { preanswers_.insert(preanswers_.end(), actions); }
  void ForgetPreanswers() { preanswers_.clear(); }
  std::optional<std::string> ChooseFile(const ui::FileRequest& r) override { return inner_->ChooseFile(r); }
  std::optional<uint32_t> ChooseColor(const ui::ColorRequest& r) override { return inner_->ChooseColor(r); }
  void WindowChanged(ui::Window& w) override { inner_->WindowChanged(w); }
  void WindowDestroyed(ui::Window& w) override { inner_->WindowDestroyed(w); }
  uint32_t ChooseMenuItem(const ui::Menu& menu, ui::WindowHandle owner) override {
    if (pick_) {
      std::string name = std::move(*pick_);
      pick_.reset();
      for (const auto& item : menu.Items()) {
        if (item.text != name || item.submenu) continue;
        if (!item.Selectable()) throw CommandError("column " + name + " cannot be changed");
        bool on = (item.flags & ui::kMfChecked) != 0;
        return on == pickOn_ ? 0 : item.id;
      }
      throw CommandError("no column named " + name + " here");
    }
    if (!script_) return inner_->ChooseMenuItem(menu, owner);
    std::fputs(menu.Describe().c_str(), stdout);
    if (script_->Pending() == 0) return 0;
    return inner_->ChooseMenuItem(menu, owner);
  }
  void Pick(std::string name, bool on) {
    pick_ = std::move(name);
    pickOn_ = on;
  }

 private:
  std::unique_ptr<ui::UiDriver> inner_;
  ui::ScriptedUiDriver* script_;
  std::optional<std::string> pick_;
  bool pickOn_ = false;
  std::deque<ui::UiAction> preanswers_;
};

class Host;
Host* g_host = nullptr;  // the tree window's refresh re-lists through it
int g_treeRefreshes = 0;  // how often the tree was told to refresh (F5)

class Host {
 public:
  explicit Host(bool scripted) : scripted_(scripted) { g_host = this; }
  ~Host() {
    Close();
    g_host = nullptr;
  }

  bool scripted() const { return scripted_; }
  ui::ScriptedUiDriver* script() const { return scriptDriver_; }
  void SetScriptDriver(ui::ScriptedUiDriver* d) { scriptDriver_ = d; }

  // Opens the first registered namespace; false when none is registered.
  bool Open() {
    Close();
    auto& reg = Registry::Instance();
    for (const std::string& id : reg.ListSubkeys(Hive::CurrentUser, kJunctionsKey)) {
      auto clsid = GuidFromString(id);
      if (!clsid) continue;
      std::string classKey = kClassesKey + GuidToString(*clsid);
      std::string path = ReadDefault(classKey + "\\InprocServer32");
      if (path.empty()) continue;
      OpenNamespace ns;
      ns.name = ReadDefault(classKey);
      ns.clsid = *clsid;
      ns.module = LoadOrThrow(path);
      auto getClassObject = ns.module->Function<GetClassObjectFn>("DllGetClassObject");
      if (!getClassObject) throw CommandError(path + " has no DllGetClassObject");
      ComPtr<IClassFactory> factory;
      HRESULT hr = getClassObject(ns.clsid, IID_IClassFactory, factory.Out());
      if (hr != S_OK) throw CommandError("DllGetClassObject " + id + ": " + ResultName(hr));
      hr = factory->CreateInstance(nullptr, IID_IShellFolder, ns.folder.Out());
      if (hr != S_OK) throw CommandError("CreateInstance: " + ResultName(hr));
      ComPtr<IPersistFolder> persist;
      if (ns.folder->QueryInterface(IID_IPersistFolder, persist.Out()) != S_OK) throw CommandError("no IPersistFolder");
      void* junction = MakeJunctionList(ns.clsid);
      hr = persist->Initialize(AsIdList(junction));
      ShellAllocator().Free(junction);
      if (hr != S_OK) throw CommandError("Initialize: " + ResultName(hr));
      ns_ = std::move(ns);
      OpenWindow();
      OpenView();
      return true;
    }
    return false;
  }

  void Close() {
    if (!ns_) return;
    CloseView();
    browser_.Reset();
    rootAbsolute_.reset();
    pendingBrowse_.reset();
    path_.clear();
    history_.clear();
    ns_->folder.Reset();
    ns_.reset();
    if (explorer_) {
      UnregisterChangeWindow(explorer_);
      DestroyWindow(explorer_);
    }
    explorer_ = tree_ = 0;
  }

  std::string Prompt() const {
    if (!ns_) return "(no namespace)> ";
    return (path_.empty() ? ns_->name : path_.back().address) + ">";
  }

  // --- Browsing, as Explorer's address bar, right pane and tree do ---

  // The listing of the current folder: (item, its name in the folder, attributes).
  struct Row {
    HeldList item;
    std::string name;
    uint32_t attributes = 0;
  };
  std::vector<Row> List(IShellFolder* folder, uint32_t flags) {
    std::vector<Row> rows;
    ComPtr<IEnumIDList> list;
    HRESULT hr = folder->EnumObjects(explorer_, flags, list.Put());
    if (hr != S_OK || !list) throw CommandError("EnumObjects: " + ResultName(hr));
    for (;;) {
      LPITEMIDLIST item = nullptr;
      uint32_t got = 0;
      if (list->Next(1, &item, &got) != S_OK || got == 0) break;
      Row r;
      r.item.reset(item);
      r.name = NameOf(folder, item, SHGDN_INFOLDER);
      LPCITEMIDLIST one = item;
      r.attributes = 0;
      folder->GetAttributesOf(1, &one, &r.attributes);
      rows.push_back(std::move(r));
    }
    return rows;
  }

  static std::string NameOf(IShellFolder* folder, LPCITEMIDLIST item, uint32_t flags) {
    STRRET name;
    if (folder->GetDisplayNameOf(item, flags, &name) != S_OK) return "?";
    std::string text = name.uType == STRRET_WSTR ? Utf8(name.pOleStr) : std::string(name.cStr);
    if (name.uType == STRRET_WSTR) ShellAllocator().Free(name.pOleStr);
    return text;
  }

  // `ls`: the view re-reads its folder (the selection stays on the same
  // items), then the table, the status bar and the toolbar.
  void Ls() {
    ui::ListView& list = ViewList();
    std::vector<ItemView> selected;
    for (int row : list.SelectedRows()) selected.push_back(ReadItem(RowItem(list, row)));
    SendToView(kNamespaceCommand, 0, kNamespaceAfterConnect);
    for (int row = 0; row < list.ItemCount(); ++row)
      if (std::find(selected.begin(), selected.end(), ReadItem(RowItem(list, row))) != selected.end())
        list.SetSelected(row, true);
    if (list.ItemCount() > 0 && IsMessageKind(ReadItem(RowItem(list, 0)).kind)) {
      // A message list reads as its lines.
      for (int row = 0; row < list.ItemCount(); ++row) std::printf("%s\n", list.ItemText(row, 0).c_str());
      return;
    }
    auto current = [&](int row) {
      ItemView v = ReadItem(RowItem(list, row));
      return v.kind == hub::ItemQueueEntry && v.count == 0;
    };
    for (const std::string& line : hub::nshost::FormatListTable(list, hub::nshost::TerminalWidth(), current))
      std::printf("%s\n", line.c_str());
    PrintBars();
  }

  // The status bar, Explorer's toolbar and a button bar, as lines.
  void PrintBars() {
    lastStatus_ = browser_->Status().Value();
    std::printf("status: %s\n", lastStatus_.c_str());
    std::printf("toolbar: %s\n", browser_->Tools().Value().c_str());
    if (ui::Toolbar* bar = ViewModel().Get<ui::Toolbar>(kButtonBarId)) std::printf("buttons: %s\n", bar->Value().c_str());
  }

  // A status change nobody asked for (a notice from the manager) prints at once.
  bool StatusChanged() {
    if (!browser_) return false;
    std::string now = browser_->Status().Value();
    if (now == lastStatus_) return false;
    lastStatus_ = now;
    std::printf("status: %s\n", now.c_str());
    return true;
  }

  // --- The view's verbs

  void Sort(const std::string& name) {
    ui::ListView& list = ViewList();
    auto columns = list.Columns();
    for (size_t c = 0; c < columns.size(); ++c) {
      if (columns[c].text != name) continue;
      ui::ListItemNotice click{-1, static_cast<int>(c)};
      list.Notify(ui::kHdnItemClick, &click);
      return;
    }
    throw CommandError("no column named " + name + " is shown (cols lists them)");
  }
  void RefreshView() { SendToView(kNamespaceCommand, 0, kNamespaceAfterConnect); }
  void HeaderMenu() { SendToView(kViewContextMenu, 0, Point(1, 1)); }
  void Column(const std::string& name, bool on) {
    driver_->Pick(name, on);
    HeaderMenu();
  }
  void Command(int id) { SendToView(kWmCommand, static_cast<uint64_t>(id), 0); }
  void Select(const std::string& what) {
    ui::ListView& list = ViewList();
    if (what == "all") return Command(2016);
    if (what == "invert") return Command(2017);
    std::string rows = what == "none" ? std::string() : what;
    std::string error;
    if (!list.ApplyUserValue(rows, error)) throw CommandError("sel: " + error);
    ui::ListItemNotice click;
    list.Notify(ui::kNmClick, &click);
  }
  void Key(const std::string& name) {
    static const std::map<std::string, ui::ListKeyDown> kKeys = {
        {"Enter", {0x0D, false, false, false}},  {"Alt+Enter", {0x0D, false, false, true}},
        {"Delete", {0x2E, false, false, false}}, {"Ctrl+A", {'A', true, false, false}},
        {"Ctrl+C", {'C', true, false, false}},   {"Ctrl+V", {'V', true, false, false}},
        {"Shift+Insert", {0x2D, false, true, false}}};
    auto it = kKeys.find(name);
    if (it == kKeys.end()) throw CommandError("key: one of Enter, Alt+Enter, Delete, Ctrl+A, Ctrl+C, Ctrl+V, Shift+Insert");
    ui::ListKeyDown key = it->second;
    ViewList().Notify(ui::kLvnKeyDown, &key);
  }
  // A row by number, or by the text of its first column (quoted or not).
  void OpenRow(std::string which) {
    ui::ListView& list = ViewList();
    if (which.size() >= 2 && which.front() == '"' && which.back() == '"') which = which.substr(1, which.size() - 2);
    int row = -1;
    if (!which.empty() && which.find_first_not_of("0123456789") == std::string::npos) {
      row = std::stoi(which);
    } else {
      for (int i = 0; i < list.ItemCount() && row < 0; ++i)
        if (list.ItemText(i, 0) == which) row = i;
      if (row < 0) throw CommandError("open: no row named " + which);
    }
    if (row < 0 || row >= list.ItemCount()) throw CommandError("open: no row " + std::to_string(row));
    list.SetItemState(-1, 0, ui::kLvisSelected);
    list.SetItemState(row, ui::kLvisSelected | ui::kLvisFocused, ui::kLvisSelected | ui::kLvisFocused);
    ui::ListItemNotice click{row, 0};
    list.Notify(ui::kNmDblClk, &click);
  }
  void ToolbarButton(const std::string& name) {
    std::string error;
    if (!browser_->Tools().ApplyUserValue(name, error)) throw CommandError("tb: " + error);
  }
  void BarButton(const std::string& name) {
    ui::Toolbar* bar = ViewModel().Get<ui::Toolbar>(kButtonBarId);
    if (!bar) throw CommandError("this folder has no button bar");
    std::string error;
    if (!bar->ApplyUserValue(name, error)) throw CommandError("bar: " + error);
  }
  void Menus() {
    const ui::Menu* menu = browser_ ? browser_->InstalledMenu() : nullptr;
    if (!menu) throw CommandError("the view has installed no menu");
    std::fputs(menu->Describe().c_str(), stdout);
  }
  void Media(const std::string& what) {
    static const std::map<std::string, int64_t> kKeys = {{"next", 11}, {"prev", 12}, {"stop", 13}, {"play", 14}};
    auto it = kKeys.find(what);
    if (it == kKeys.end()) throw CommandError("media: next, prev, stop or play");
    SendToView(kViewAppCommand, 0, it->second << 16);
  }
  // --- Clipboard and drag and drop

  // Ctrl+C on the rows: "Copy to Computer...", into `folder` when given.
  void Copy(const std::string& rows, const std::string& folder) {
    Select(rows);
    if (!folder.empty()) driver_->Preanswer({ui::UiAction::PickFolder(folder)});
    Key("Ctrl+C");
  }
  // The computer's file manager copies files.
  void ClipFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> full = AbsolutePathsOrThrow(paths);
    Status s = WriteClipboard({StoredFormat{CF_HDROP, BuildDropFiles(full)}});
    if (!s.ok()) throw CommandError(s.message());
    std::printf("%zu file%s on the clipboard\n", full.size(), full.size() == 1 ? "" : "s");
  }
  // The drop target of a namespace folder named from the current folder, else from the root
  // ("." is the current folder; parts separated by backslashes).
  ComPtr<IDropTarget> FolderTarget(const std::string& path) {
    if (path == ".") {
      ComPtr<IDropTarget> t;
      if (Current()->CreateViewObject(explorer_, IID_IDropTarget, t.Out()) != S_OK || !t)
        throw CommandError("the folder gives no drop target");
      return t;
    }
    for (IShellFolder* start : {Current(), ns_->folder.get()}) {
      start->AddRef();
      ComPtr<IShellFolder> folder(start);
      std::string rest = path;
      bool found = true;
      while (found) {
        size_t cut = rest.find('\\');
        std::string part = rest.substr(0, cut);
        rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
        found = false;
        for (Row& r : List(folder.get(), SHCONTF_FOLDERS)) {
          if (r.name != part) continue;
          found = true;
          if (rest.empty()) {
            ComPtr<IDropTarget> t;
            LPCITEMIDLIST one = r.item.get();
            if (folder->GetUIObjectOf(explorer_, 1, &one, IID_IDropTarget, nullptr, t.Out()) != S_OK || !t)
              throw CommandError(path + " gives no drop target");
            return t;
          }
          ComPtr<IShellFolder> child;
          if (folder->BindToObject(r.item.get(), nullptr, IID_IShellFolder, child.Out()) != S_OK) found = false;
          else folder = std::move(child);
          break;
        }
      }
    }
    throw CommandError("no folder named " + path + " here or at the top");
  }
  // Files of the computer dropped on a namespace folder, as a file manager's drag.
  void DropFiles(const std::vector<std::string>& paths, const std::string& folder) {
    std::vector<std::string> full = AbsolutePathsOrThrow(paths);
    ComPtr<IDropTarget> target(CreateReportingTarget(FolderTarget(folder).get()));
    ComPtr<IDataObject> data(CreateStoredDataObject({StoredFormat{CF_HDROP, BuildDropFiles(full)}}));
    ComPtr<IDropSource> source(CreateSimpleDropSource());
    WindowHandle place = DropPlaceWindow();
    if (RegisterDragDrop(place, target.get()) != S_OK) throw CommandError("cannot register the drop place");
    driver_->PushDragSteps({ui::DragStep::Over(place), ui::DragStep::Release()});
    uint32_t effect = DROPEFFECT_NONE;
    try {
      DoDragDrop(data.get(), source.get(), DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
    } catch (...) {
      RevokeDragDrop(place);
      driver_->ClearDragSteps();
      throw;
    }
    RevokeDragDrop(place);
    if (effect == DROPEFFECT_NONE) std::printf("nothing was dropped\n");
  }
  // Rows of the view dragged to a namespace folder, a row of the view ("row N")
  // or a folder of the computer ("dir:PATH").
  void Drag(const std::string& rows, const std::string& target, bool escape, bool middle) {
    Select(rows);
    ui::ListView& list = ViewList();
    WindowHandle window = 0;
    ui::Point point;
    ComPtr<IDropTarget> placed;
    if (target.rfind("row ", 0) == 0) {
      int row = std::stoi(target.substr(4));
      if (row < 0 || row >= list.ItemCount()) throw CommandError("drag: no row " + target.substr(4));
      list.EnsureVisible(row);
      point = list.RowPoint(row);
      window = viewWindow_;
    } else {
      ComPtr<IDropTarget> inner;
      if (target.rfind("dir:", 0) == 0) {
        std::string dir = target.substr(4);
        std::error_code ec;
        if (!std::filesystem::is_directory(dir, ec)) throw CommandError("drag: no folder " + dir);
        inner = ComPtr<IDropTarget>(CreateComputerFolderTarget(dir));
      } else {
        inner = FolderTarget(target);
      }
      placed = ComPtr<IDropTarget>(CreateReportingTarget(inner.get()));
      window = DropPlaceWindow();
      if (RegisterDragDrop(window, placed.get()) != S_OK) throw CommandError("cannot register the drop place");
    }
    std::vector<ui::DragStep> steps{ui::DragStep::Over(window, point), ui::DragStep::Over(window, point)};
    if (middle) steps.push_back(ui::DragStep::Keys(MK_LBUTTON | MK_MBUTTON));
    steps.push_back(escape ? ui::DragStep::Escape() : ui::DragStep::Release());
    driver_->PushDragSteps(steps);
    size_t before = driver_->PendingDragSteps();
    try {
      ui::ListItemNotice notice{list.FirstSelected(), 0};
      list.Notify(ui::kLvnBeginDrag, &notice);
    } catch (...) {
      if (placed) RevokeDragDrop(window);
      driver_->ClearDragSteps();
      throw;
    }
    if (driver_->PendingDragSteps() == before) std::printf("no drag started\n");
    driver_->ClearDragSteps();
    if (placed) RevokeDragDrop(window);
  }
  static std::vector<std::string> AbsolutePathsOrThrow(const std::vector<std::string>& paths) {
    try {
      return AbsolutePaths(paths);
    } catch (const std::runtime_error& e) {
      throw CommandError(e.what());
    }
  }

  void PlaybackMenu() {
    ui::SetKeyHeld(ui::kVkControl, true);
    try {
      SendToView(kViewContextMenu, 0, Point(10, 300));
    } catch (...) {
      ui::SetKeyHeld(ui::kVkControl, false);
      throw;
    }
    ui::SetKeyHeld(ui::kVkControl, false);
  }
  // --- The context menu: a right click on rows (in row order), or on the
  // current folder in the tree when no rows are named.
  struct BuiltMenu {
    ComPtr<IContextMenu> object;
    ui::Menu menu;
  };
  BuiltMenu BuildContextMenu(const std::vector<int>& rows) {
    if (!ns_) throw CommandError("no namespace is registered (nshost register MODULE)");
    BuiltMenu built;
    std::vector<LPCITEMIDLIST> ids;
    IShellFolder* owner = Current();
    HeldList self;
    if (!rows.empty()) {
      ui::ListView& list = ViewList();
      for (int row : rows) {
        if (row < 0 || row >= list.ItemCount()) throw CommandError("no row " + std::to_string(row));
        ids.push_back(RowItem(list, row));
      }
    } else if (!path_.empty()) {
      // The folder as an item of the folder above it.
      owner = path_.size() >= 2 ? path_[path_.size() - 2].folder.get() : ns_->folder.get();
      const std::vector<uint8_t>& bytes = path_.back().ids;
      void* copy = ShellAllocator().Alloc(bytes.size());
      if (!copy) throw CommandError("out of memory");
      std::memcpy(copy, bytes.data(), bytes.size());
      self.reset(static_cast<ITEMIDLIST*>(copy));
      ids.push_back(self.get());
    }
    HRESULT hr = owner->GetUIObjectOf(explorer_, static_cast<uint32_t>(ids.size()), ids.empty() ? nullptr : ids.data(),
                                      IID_IContextMenu, nullptr, built.object.Out());
    if (hr != S_OK || !built.object) throw CommandError("GetUIObjectOf(IContextMenu): " + ResultName(hr));
    built.object->QueryContextMenu(reinterpret_cast<ShellMenu>(&built.menu), 0, 0, 0x7FFF, CMF_NORMAL);
    return built;
  }
  void ContextMenu(const std::vector<int>& rows) { std::fputs(BuildContextMenu(rows).menu.Describe().c_str(), stdout); }

  // The command of a menu entry: its number, or its path of texts ("Add to Playlist/Road Trip").
  static uint32_t MenuCommand(const ui::Menu& menu, const std::string& entry) {
    if (!entry.empty() && entry.find_first_not_of("0123456789") == std::string::npos) return std::stoul(entry);
    auto plain = [](std::string t) {
      t.erase(std::remove(t.begin(), t.end(), '&'), t.end());
      return t;
    };
    const ui::Menu* level = &menu;
    std::string rest = entry;
    while (level) {
      size_t cut = rest.find('/');
      std::string part = rest.substr(0, cut);
      const ui::Menu::Item* found = nullptr;
      for (const auto& item : level->Items())
        if (!(item.flags & ui::kMfSeparator) && plain(item.text) == part) found = &item;
      if (!found) break;
      if (cut == std::string::npos || !found->submenu) {
        if (found->submenu) throw CommandError(part + " opens a submenu: name an entry in it");
        if (!found->Selectable()) throw CommandError(part + " is greyed");
        return found->id;
      }
      level = found->submenu.get();
      rest = rest.substr(cut + 1);
    }
    throw CommandError("no menu entry " + entry + " here (menu lists them)");
  }
  // The first entry, at any depth, whose text starts with `prefix`.
  static std::optional<uint32_t> EntryStartingWith(const ui::Menu& menu, const std::string& prefix) {
    for (const auto& item : menu.Items()) {
      if (item.submenu) {
        if (auto id = EntryStartingWith(*item.submenu, prefix)) return id;
      } else if (item.Selectable() && item.text.rfind(prefix, 0) == 0) {
        return item.id;
      }
    }
    return std::nullopt;
  }
  void Invoke(BuiltMenu& built, uint32_t command) {
    CMINVOKECOMMANDINFO info;
    info.hwnd = explorer_;
    info.lpVerb = command;
    HRESULT hr = built.object->InvokeCommand(&info);
    if (hr != S_OK) std::printf("InvokeCommand(%u): %s\n", command, ResultName(hr).c_str());
  }
  void Do(const std::string& entry, const std::vector<int>& rows) {
    BuiltMenu built = BuildContextMenu(rows);
    Invoke(built, MenuCommand(built.menu, entry));
  }
  // "Play in ..." or the playlist entry of a submenu, found by its text.
  void DoEntryStartingWith(const std::string& prefix, const std::vector<int>& rows, const std::string& what) {
    BuiltMenu built = BuildContextMenu(rows);
    auto id = EntryStartingWith(built.menu, prefix);
    if (!id) throw CommandError("the menu here has no " + what);
    Invoke(built, *id);
  }
  void AddToPlaylist(const std::string& playlist, const std::vector<int>& rows) {
    BuiltMenu built = BuildContextMenu(rows);
    for (const auto& item : built.menu.Items()) {
      if (!item.submenu || (item.text != "Add to Playlist" && item.text != "Move to Playlist")) continue;
      for (const auto& sub : item.submenu->Items())
        if (sub.id >= 6001 && sub.text == playlist) return Invoke(built, sub.id);
      throw CommandError("no playlist named " + playlist + " in the menu");
    }
    throw CommandError("the menu here has no Add to Playlist");
  }

  // Navigation the view asked for, once the command that asked has ended.
  void RunPendingBrowse() {
    if (!pendingBrowse_) return;
    Browse b = std::move(*pendingBrowse_);
    pendingBrowse_.reset();
    if (b.flags & SBSP_NAVIGATEBACK) {
      Back();
      return;
    }
    if (!ns_) return;
    std::vector<Location> saved;
    for (const Location& l : path_) saved.push_back(Location{Share(l.folder), l.address, l.ids});
    IShellFolder* from = (b.flags & SBSP_RELATIVE) ? Current() : ns_->folder.get();
    if (!(b.flags & SBSP_RELATIVE)) {
      // An absolute list starts with the root's own items.
      size_t skip = ListBytes(rootAbsolute_.get()) - 2;
      if (b.ids.size() < skip + 2) throw CommandError("the view asked for a folder outside the namespace");
      b.ids.erase(b.ids.begin(), b.ids.begin() + static_cast<std::ptrdiff_t>(skip));
      path_.clear();
    }
    if (b.ids.size() <= 2) {
      history_.push_back(std::move(saved));
      OpenView();
      return;
    }
    void* copy = ShellAllocator().Alloc(b.ids.size());
    std::memcpy(copy, b.ids.data(), b.ids.size());
    HeldList held(static_cast<ITEMIDLIST*>(copy));
    Location l;
    HRESULT hr = from->BindToObject(held.get(), nullptr, IID_IShellFolder, l.folder.Out());
    if (hr != S_OK) {
      path_ = std::move(saved);
      throw CommandError("BindToObject: " + ResultName(hr));
    }
    l.address = NameOf(from, held.get(), SHGDN_NORMAL | 0x4000);
    l.ids = b.ids;
    path_.push_back(std::move(l));
    history_.push_back(std::move(saved));
    OpenView();
    std::printf("%s\n", Prompt().substr(0, Prompt().size() - 1).c_str());
  }

  void LsLong() {
    IShellFolder* folder = Current();
    for (const Row& r : List(folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS)) {
      ItemView v = ReadItem(r.item.get());
      if (IsMessageKind(v.kind)) {
        std::printf("%s\n", r.name.c_str());
        continue;
      }
      std::printf("%5u  %-40s %-15s %s %6u  %s\n", v.position, r.name.c_str(), KindName(v.kind).c_str(),
                  AttributeLetters(r.attributes).c_str(), v.count, IconOf(folder, r.item.get()).c_str());
    }
  }

  // The item's icon as Explorer asks for it: "icon <index> <image>" ("icon -" for none).
  std::string IconOf(IShellFolder* folder, LPCITEMIDLIST item) {
    ComPtr<IExtractIconA> icon;
    LPCITEMIDLIST one = item;
    if (folder->GetUIObjectOf(explorer_, 1, &one, IID_IExtractIconA, nullptr, reinterpret_cast<void**>(icon.Put())) !=
            S_OK ||
        !icon)
      return "icon -";
    char file[260] = {};
    int32_t index = -1;
    uint32_t flags = 0;
    if (icon->GetIconLocation(GIL_FORSHELL, file, sizeof file, &index, &flags) != S_OK || index < 0) return "icon -";
    ShellIcon large = 0, small = 0;
    icon->Extract(file, static_cast<uint32_t>(index), &large, &small, 32 | 16u << 16);
    auto image = GetShellIconInfo(small);
    DestroyShellIcon(large);
    DestroyShellIcon(small);
    return "icon " + std::to_string(index) + " " + (image ? image->image : std::string("?"));
  }

  void Enum(uint32_t flags) {
    ComPtr<IEnumIDList> list;
    HRESULT hr = Current()->EnumObjects(explorer_, flags, list.Put());
    if (hr != S_OK || !list) throw CommandError("EnumObjects: " + ResultName(hr));
    uint32_t total = 0;
    for (;;) {
      LPITEMIDLIST items[8] = {};
      uint32_t got = 0;
      hr = list->Next(8, items, &got);
      for (uint32_t i = 0; i < got; ++i) ShellAllocator().Free(items[i]);
      total += got;
      std::printf("Next(8): %s, %u\n", ResultName(hr).c_str(), got);
      if (hr != S_OK) break;
    }
    std::printf("Reset: %s\n", ResultName(list->Reset()).c_str());
    std::printf("Skip(%u): %s\n", total, ResultName(list->Skip(total)).c_str());
    std::printf("Skip(1): %s\n", ResultName(list->Skip(1)).c_str());
    std::printf("items: %u\n", total);
  }

  void Tree(int depth) {
    lastTreeDepth_ = depth;
    std::printf("%s\n", Prompt().substr(0, Prompt().size() - 1).c_str());
    TreeLevel(Current(), depth, 1);
  }

  void Refresh() {
    if (lastTreeDepth_ > 0 && ns_) Tree(lastTreeDepth_);
  }
  // Serves the windows until the tree is told to refresh, as every transfer,
  // connect or change made by another program ends; a script reads on only
  // then. The view's own refresh notice was posted before and ran first.
  void WaitForRefresh(uint32_t seconds) {
    int before = g_treeRefreshes;
    const uint64_t end = TickCount64() + uint64_t{seconds} * 1000;
    while (g_treeRefreshes == before) {
      uint64_t now = TickCount64();
      if (now >= end) throw CommandError("no refresh within " + std::to_string(seconds) + " s");
      Message msg;
      MessageWait w = WaitWindowMessage(msg, static_cast<uint32_t>(end - now));
      if (w == MessageWait::Quit) throw CommandError("the host was asked to quit while waiting");
      if (w != MessageWait::Message) continue;
      DispatchWindowMessage(msg);
      RunPendingBrowse();
    }
    StatusChanged();
  }

  // `cd` with a name, a path ("Artists\Aurora Tide"), ".." or "/".
  void Cd(const std::string& target) {
    if (!ns_) throw CommandError("no namespace is registered (nshost register MODULE)");
    std::vector<Location> saved;
    for (const Location& l : path_) saved.push_back(Location{Share(l.folder), l.address, l.ids});
    std::string rest = target;
    if (!rest.empty() && (rest[0] == '/' || rest[0] == '\\')) {
      path_.clear();
      rest.erase(0, 1);
    }
    try {
      while (!rest.empty()) {
        size_t cut = rest.find('\\');
        std::string part = rest.substr(0, cut);
        rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
          if (!path_.empty()) path_.pop_back();
          continue;
        }
        Enter(part);
      }
    } catch (...) {
      path_ = std::move(saved);
      throw;
    }
    history_.push_back(std::move(saved));
    OpenView();
  }

  void Back() {
    if (history_.empty()) throw CommandError("back: no earlier folder");
    path_ = std::move(history_.back());
    history_.pop_back();
    OpenView();
  }

  // The library changed folders: each is named as the address bar names it.
  void TakeNotices(WindowHandle window) {
    for (const ChangeNotice& n : TakeChangeNotices(window)) {
      std::string name = ns_ && !n.list1.empty() ? AddressOf(n.list1) : std::string("?");
      const char* what = n.event == SHCNE_RMDIR ? "removed" : n.event == SHCNE_MKDIR ? "made" : "updated";
      notices_.push_back(std::string(what) + " " + name);
      std::printf("changed: %s\n", name.c_str());
    }
    std::fflush(stdout);
  }

  void Notify() {
    for (const std::string& n : notices_) std::printf("%s\n", n.c_str());
    std::printf("notices: %zu\n", notices_.size());
  }

  void Pwd() { std::printf("%s\n", path_.empty() ? ns_->name.c_str() : path_.back().address.c_str()); }

  void Info() {
    if (!ns_) throw CommandError("no namespace is registered (nshost register MODULE)");
    ModuleInfo i = QueryInfo(*ns_->module);
    std::printf("folder: %s\n", ns_->name.c_str());
    std::printf("product: %d \"%s\"\n", i.product, i.productName);
    std::printf("module: %s (%s)\n", i.moduleName, ns_->module->path().c_str());
    std::printf("class id: %s\n", i.classId);
    if (i.attachRequested) {
      std::printf("attach: device %u, ids {%u}/{%u}\n", i.device, i.idA, i.idB);
      std::printf("%s\n", i.attached ? "attached" : "not attached (is the manager running?)");
    } else {
      std::printf("attach: none (this build attaches no device)\n");
    }
    std::printf("live objects: %d\n", i.liveObjects);
    auto canUnload = ns_->module->Function<NoArgumentFn>("DllCanUnloadNow");
    std::printf("DllCanUnloadNow: %s\n", canUnload ? ResultName(canUnload()).c_str() : "(missing)");
    std::printf("window: %08X %s, tree %08X %s\n", explorer_, kExplorerClass, tree_, kTreeClass);
  }

  void Register(const std::string& modulePath, bool add) {
    std::string path = std::filesystem::absolute(modulePath).lexically_normal().string();
    LoadedModule m = LoadOrThrow(path);
    ModuleInfo info = QueryInfo(m);
    if (!info.classId[0]) throw CommandError(std::string(info.moduleName) + " answers to no class id");
    std::string id = info.classId;
    std::string name = std::string(info.productName) + " Explorer";
    auto& reg = Registry::Instance();
    std::string classKey = kClassesKey + id;
    std::string junctionKey = std::string(kJunctionsKey) + "\\" + id;
    bool ok = true;
    if (add) {
      ok = reg.CreateKey(Hive::CurrentUser, classKey + "\\InprocServer32") &&
           reg.Write(Hive::CurrentUser, classKey, "", RegistryValue::String(name)) &&
           reg.Write(Hive::CurrentUser, classKey + "\\InprocServer32", "", RegistryValue::String(path)) &&
           reg.CreateKey(Hive::CurrentUser, junctionKey) &&
           reg.Write(Hive::CurrentUser, junctionKey, "", RegistryValue::String(name));
    } else {
      reg.DeleteKey(Hive::CurrentUser, junctionKey);
      reg.DeleteKey(Hive::CurrentUser, classKey);
    }
    if (!ok) throw CommandError("cannot write the registration of " + id);
    auto entry = m.Function<NoArgumentFn>(add ? "DllRegisterServer" : "DllUnregisterServer");
    HRESULT hr = entry ? entry() : E_FAIL;
    if (hr != S_OK) throw CommandError(std::string(add ? "DllRegisterServer" : "DllUnregisterServer") + ": " + ResultName(hr));
    std::printf("%s %s %s (%s)\n", add ? "registered" : "unregistered", id.c_str(), name.c_str(), path.c_str());
  }

  bool namespaceOpen() const { return ns_.has_value(); }

 private:
  struct Location {
    ComPtr<IShellFolder> folder;
    std::string address;     // the address bar's name of the folder
    std::vector<uint8_t> ids;  // the list it was bound with, relative to the folder above
  };

  static ComPtr<IShellFolder> Share(const ComPtr<IShellFolder>& f) {
    if (f) f->AddRef();
    return ComPtr<IShellFolder>(f.get());
  }

  IShellFolder* Current() const {
    if (!ns_) throw CommandError("no namespace is registered (nshost register MODULE)");
    return path_.empty() ? ns_->folder.get() : path_.back().folder.get();
  }

  void Enter(const std::string& name) {
    IShellFolder* folder = Current();
    for (Row& r : List(folder, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS)) {
      if (r.name != name) continue;
      if (!(r.attributes & SFGAO_FOLDER)) throw CommandError(name + " is not a folder");
      Location l;
      HRESULT hr = folder->BindToObject(r.item.get(), nullptr, IID_IShellFolder, l.folder.Out());
      if (hr != S_OK) throw CommandError("BindToObject " + name + ": " + ResultName(hr));
      l.address = NameOf(folder, r.item.get(), SHGDN_NORMAL | 0x4000);
      const uint8_t* bytes = IdListBytes(r.item.get());
      l.ids.assign(bytes, bytes + ListBytes(r.item.get()));
      path_.push_back(std::move(l));
      return;
    }
    throw CommandError("no folder named " + name + " here");
  }

  void TreeLevel(IShellFolder* folder, int depth, int indent) {
    if (depth <= 0) return;
    for (Row& r : List(folder, SHCONTF_FOLDERS)) {
      if (!(r.attributes & SFGAO_FOLDER)) continue;
      std::printf("%*s%s\n", indent * 2, "", r.name.c_str());
      if (depth > 1) {
        ComPtr<IShellFolder> child;
        if (folder->BindToObject(r.item.get(), nullptr, IID_IShellFolder, child.Out()) == S_OK)
          TreeLevel(child.get(), depth - 1, indent + 1);
      }
    }
  }

  // The address-bar name of an absolute list the library sent: its last item
  // named by the root folder.
  std::string AddressOf(const std::vector<uint8_t>& list) {
    void* copy = ShellAllocator().Alloc(list.size());
    if (!copy) return "?";
    std::memcpy(copy, list.data(), list.size());
    std::string name = NameOf(ns_->folder.get(), AsIdList(copy), SHGDN_NORMAL | 0x4000);
    ShellAllocator().Free(copy);
    return name;
  }

  static constexpr int kListId = 1001;
  static constexpr int kButtonBarId = 1;
  static constexpr uint32_t kViewSetFocus = 0x0007;
  static constexpr uint32_t kViewContextMenu = 0x007B;
  static constexpr uint32_t kViewAppCommand = 0x0319;

  static int64_t Point(int x, int y) { return (x & 0xFFFF) | int64_t(y & 0xFFFF) << 16; }
  static size_t ListBytes(LPCITEMIDLIST ids) {
    const uint8_t* p = IdListBytes(ids);
    size_t n = 0;
    while (p && ReadLittleEndian16(p + n) != 0) n += ReadLittleEndian16(p + n);
    return n + 2;
  }
  static LPCITEMIDLIST RowItem(const ui::ListView& list, int row) {
    return reinterpret_cast<LPCITEMIDLIST>(static_cast<intptr_t>(list.ItemParam(row)));
  }

  ui::Window& ViewModel() const {
    ui::Window* w = viewWindow_ ? ui::FindModelWindow(viewWindow_) : nullptr;
    if (!w) throw CommandError("no view is open");
    return *w;
  }
  ui::ListView& ViewList() const {
    ui::ListView* list = ViewModel().Get<ui::ListView>(kListId);
    if (!list) throw CommandError("the view has no list");
    return *list;
  }
  int64_t SendToView(uint32_t message, uint64_t wParam, int64_t lParam) {
    if (!viewWindow_) throw CommandError("no view is open");
    int64_t result = 0;
    SendWindowMessage(viewWindow_, message, wParam, lParam, 60000, &result);
    return result;
  }

  // The right pane of the current folder, made as Explorer makes it; the old one goes.
  void OpenView() {
    CloseView();
    if (!ns_ || !browser_) return;
    browser_->ResetToolbar();
    ComPtr<IShellView> view;
    HRESULT hr = Current()->CreateViewObject(explorer_, IID_IShellView, view.Out());
    if (hr != S_OK) throw CommandError("CreateViewObject: " + ResultName(hr));
    FOLDERSETTINGS settings{FVM_DETAILS, 0};
    ShellRect rect{0, 0, 1000, 600};
    ShellWindow window = 0;
    hr = view->CreateViewWindow(nullptr, &settings, browser_.get(), &rect, &window);
    if (hr != S_OK) throw CommandError("CreateViewWindow: " + ResultName(hr));
    view_ = std::move(view);
    viewWindow_ = window;
    view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
    SendToView(kViewSetFocus, 0, 0);
    lastStatus_ = browser_->Status().Value();
  }
  void CloseView() {
    if (!view_) return;
    view_->UIActivate(SVUIA_DEACTIVATE);
    view_->DestroyViewWindow();
    view_.Reset();
    viewWindow_ = 0;
  }

  struct Browse {
    std::vector<uint8_t> ids;
    uint32_t flags = 0;
  };
  HRESULT OnBrowse(LPCITEMIDLIST ids, uint32_t flags) {
    Browse b;
    b.flags = flags;
    if (ids) {
      const uint8_t* p = IdListBytes(ids);
      b.ids.assign(p, p + ListBytes(ids));
    } else if (!(flags & SBSP_NAVIGATEBACK)) {
      return E_INVALIDARG;
    }
    pendingBrowse_ = std::move(b);
    return S_OK;
  }

  ComPtr<ModelShellBrowser> browser_;
  ComPtr<IShellView> view_;
  WindowHandle viewWindow_ = 0;
  std::string lastStatus_;
  std::optional<Browse> pendingBrowse_;
  HeldList rootAbsolute_;
  HostUiDriver* driver_ = nullptr;

 public:
  void SetHostDriver(HostUiDriver* d) { driver_ = d; }
  // The answers a shortcut verb carries, given before its command runs (and
  // dropped after it, so they never answer another command).
  struct Preanswers {
    Preanswers(Host& h, std::initializer_list<ui::UiAction> actions) : host(h) { host.driver_->Preanswer(actions); }
    ~Preanswers() { host.driver_->ForgetPreanswers(); }
    Host& host;
  };

 private:
  std::vector<Location> path_;
  std::vector<std::vector<Location>> history_;
  std::vector<std::string> notices_;
  int lastTreeDepth_ = 0;

  void OpenWindow() {
    if (!IsWindowClassRegistered(kExplorerClass)) {
      RegisterWindowClass(kExplorerClass, [](WindowHandle w, uint32_t msg, uint64_t wParam, int64_t lParam) -> int64_t {
        if (msg == ChangeNoticeMessage()) {
          if (g_host) g_host->TakeNotices(w);
          return 0;
        }
        return DefaultWindowProc(w, msg, wParam, lParam);
      });
      RegisterWindowClass(kTreeClass, [](WindowHandle w, uint32_t msg, uint64_t wParam, int64_t lParam) -> int64_t {
        if (msg == kWmKeyDown && wParam == kVkF5) {
          ++g_treeRefreshes;
          std::printf("tree: refresh\n");
          if (g_host) g_host->Refresh();
          std::fflush(stdout);
          return 0;
        }
        return DefaultWindowProc(w, msg, wParam, lParam);
      });
    }
    explorer_ = CreateHiddenWindow(kExplorerClass, ns_->name);
    tree_ = explorer_ ? CreateHiddenWindow(kTreeClass, "", explorer_) : 0;
    // The host is the view's browser: its status bar, toolbar, menus and navigation.
    if (explorer_)
      browser_ = ModelShellBrowser::Create(explorer_, [this](LPCITEMIDLIST ids, uint32_t flags) { return OnBrowse(ids, flags); });
    rootAbsolute_.reset(static_cast<ITEMIDLIST*>(MakeJunctionList(ns_->clsid)));
    // Folders the library changes are announced to this window.
    if (explorer_) RegisterChangeWindow(explorer_);
  }

  bool scripted_;
  ui::ScriptedUiDriver* scriptDriver_ = nullptr;
  std::optional<OpenNamespace> ns_;
  WindowHandle explorer_ = 0;
  WindowHandle tree_ = 0;
};

// The text without surrounding blanks and one pair of double quotes.
std::string Unquoted(std::string text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\t')) text.pop_back();
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return text;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

// The words of a line; double quotes group ("Road Trip").
std::vector<std::string> QuotedWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t' || c == '\r') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (quoted) throw CommandError("a quote is not closed");
  if (any) words.push_back(word);
  return words;
}

// "0,2,5": rows of the view's list.
std::vector<int> ParseRows(const std::string& text) {
  std::vector<int> rows;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');) {
    if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos)
      throw CommandError("rows are numbers separated by commas (0,2,5): " + text);
    rows.push_back(std::stoi(part));
  }
  return rows;
}

// The edit box of the library's name prompt.
constexpr int kNameEditId = 1008;

// "answer ok|cancel|yes|no|N", "answer press N", "answer set N TEXT",
// "answer menu N", "answer folder PATH", "answer name NAME", "answer file PATH",
// "answer color #RRGGBB", "answer drop PATH|PATH", "answer wait MS": what a person would do next.
std::vector<ui::UiAction> ParseAnswer(const std::vector<std::string>& w, const std::string& line) {
  static const std::map<std::string, int> kButtons = {
      {"ok", ui::kIdOk}, {"cancel", ui::kIdCancel}, {"yes", ui::kIdYes}, {"no", ui::kIdNo},
      {"abort", ui::kIdAbort}, {"retry", ui::kIdRetry}, {"ignore", ui::kIdIgnore}};
  auto number = [&](size_t i) {
    if (w.size() <= i) throw CommandError("answer: a number is missing");
    try {
      return std::stoi(w[i]);
    } catch (const std::exception&) {
      throw CommandError("answer: not a number: " + w[i]);
    }
  };
  if (w.size() < 2) throw CommandError("answer: say what to answer");
  if (auto it = kButtons.find(w[1]); it != kButtons.end()) return {ui::UiAction::Answer(it->second)};
  if (w[1] == "press") return {ui::UiAction::Press(number(2))};
  if (w[1] == "menu") return {ui::UiAction::ChooseMenu(number(2))};
  if (w[1] == "set") {
    int id = number(2);
    size_t at = line.find(w[2], line.find("set") + 3) + w[2].size();
    return {ui::UiAction::Set(id, at < line.size() ? line.substr(at + 1) : std::string())};
  }
  if (w[1] == "name") {
    // The name prompt: its text, then OK.
    std::vector<std::string> q = QuotedWords(line);
    if (q.size() < 3) throw CommandError("answer name NAME");
    return {ui::UiAction::Set(kNameEditId, q[2]), ui::UiAction::Press(ui::kIdOk)};
  }
  if (w[1] == "folder") {
    size_t at = line.find("folder") + 6;
    return {ui::UiAction::PickFolder(at < line.size() ? line.substr(at + 1) : std::string())};
  }
  auto restAfter = [&](const std::string& word) {
    size_t at = line.find(word, line.find("answer") + 6) + word.size();
    return at < line.size() ? line.substr(at + 1) : std::string();
  };
  if (w[1] == "file") return {ui::UiAction::PickFile(restAfter("file"))};
  if (w[1] == "color") return {ui::UiAction::PickColor(restAfter("color"))};
  if (w[1] == "wait") return {ui::UiAction::Pump(number(2))};
  if (w[1] == "drop") {
    std::vector<std::string> paths;
    std::string rest = restAfter("drop");
    for (size_t at = 0; at <= rest.size();) {
      size_t bar = rest.find('|', at);
      if (bar == std::string::npos) bar = rest.size();
      if (bar > at) paths.push_back(rest.substr(at, bar - at));
      at = bar + 1;
    }
    if (paths.empty()) throw CommandError("answer drop PATH[|PATH...]");
    return {ui::UiAction::DropFiles(paths)};
  }
  return {ui::UiAction::Answer(number(1))};
}

constexpr const char* kHelp =
    "info                 the namespace: product, module, class id, attach, live objects\n"
    "register MODULE      register a build of the shell library as the namespace\n"
    "unregister MODULE    remove its registration\n"
    "cd PATH              open a folder: a name, a path (Artists\\Aurora Tide), .. or /\n"
    "back                 the folder before the last cd\n"
    "pwd                  the folder's name in the address bar\n"
    "ls                   the right pane: the view's list as a table (* selected, > current), the\n"
    "                     status bar and the toolbar; message rows as plain lines\n"
    "ls -l                the listing itself: position, name, kind, attributes (F folder, S sub-folders,\n"
    "                     D drop target), count, icon\n"
    "sort COLUMN          sort by a shown column (again: the other way)\n"
    "cols                 the header menu (its columns, checked when shown)\n"
    "col NAME on|off      show or hide a column; col reset, col compact\n"
    "mode MODE            icons, small, list or details\n"
    "sel ROWS             select rows (0,2,5), all, none or invert\n"
    "key KEY              Enter, Alt+Enter, Delete, Ctrl+A, Ctrl+C, Ctrl+V, Shift+Insert in the list\n"
    "open ROW             double-click a row (its number or its name)\n"
    "tb BUTTON            press a toolbar button (its text or command)\n"
    "bar BUTTON           press a button of the folder's button bar\n"
    "menus                the merged menus of the view\n"
    "media KEY            a media key: next, prev, stop, play\n"
    "pmenu                Ctrl + right click: the playback menu\n"
    "refresh              the view re-reads its folder\n"
    "wait refresh [SECS]  serve the windows until the tree is told to refresh (a transfer or another\n"
    "                     program's change ends so); default 600 s\n"
    "enum FLAGS           the raw enumeration (32 folders, 64 non-folders, 96 both)\n"
    "tree [DEPTH]         the folder tree below this folder (default depth 2), again on F5\n"
    "notify               the change notices received (removed, made, updated)\n"
    "menu [ROWS]          the context menu of rows (0,2,5), or of this folder: ids, greyed, checked\n"
    "do ENTRY [ROWS]      run a menu entry: its id or its path (\"Add to Playlist/Create New Playlist...\")\n"
    "delete ROWS          Delete; remove ROWS: Remove from Playlist/Queue; props ROWS: Properties\n"
    "play ROWS            Play in ...; queue ROWS: Queue on Jukebox\n"
    "playlist new NAME [ROWS]   a new playlist (of the rows' tracks)\n"
    "playlist add PLAYLIST ROWS add the rows' tracks to a playlist\n"
    "backup all|ROWS DIR  back up every playlist, or the rows' playlists, into DIR\n"
    "note new NAME        a new note here (in Notes); contact new NAME likewise in Contacts\n"
    "copy ROWS [FOLDER]   Ctrl+C on the rows: Copy to Computer (into FOLDER when given)\n"
    "clip files PATHS     the computer's file manager copies files to the clipboard\n"
    "paste                Ctrl+V: paste the clipboard's files into this folder\n"
    "drop PATHS on FOLDER drop files of the computer on a folder (from here or the top; . is here)\n"
    "drag ROWS to TARGET  drag rows to a folder, to 'row N' of this view or to 'dir:PATH' on the\n"
    "                     computer; --escape lets go with Escape, --middle holds the middle button\n"
    "answer ...           in a script: what the next message box or dialog is answered with\n"
    "                     (ok, cancel, yes, no, N, press N, set N TEXT, menu N, folder PATH, name NAME,\n"
    "                     file PATH, color #RRGGBB, drop PATH|PATH, wait MS)\n"
    "help                 this text\n"
    "quit                 close the namespace and leave\n";

// The context-menu verbs and their shortcuts (each a right click and a choice).
void RunMenuVerb(Host& host, const std::vector<std::string>& a) {
  const std::string& verb = a[0];
  auto rowsAt = [&](size_t i) { return a.size() > i ? ParseRows(a[i]) : std::vector<int>(); };
  auto need = [&](size_t n, const char* usage) {
    if (a.size() < n) throw CommandError(std::string("usage: ") + usage);
  };
  if (verb == "menu") return host.ContextMenu(rowsAt(1));
  if (verb == "do") {
    need(2, "do ID|\"Entry/Sub entry\" [ROWS]");
    return host.Do(a[1], rowsAt(2));
  }
  static const std::map<std::string, const char*> kCommands = {
      {"delete", "3035"}, {"remove", "3085"}, {"props", "3044"}, {"queue", "3055"}};
  if (auto it = kCommands.find(verb); it != kCommands.end()) {
    need(2, (verb + " ROWS").c_str());
    return host.Do(it->second, rowsAt(1));
  }
  if (verb == "play") {
    need(2, "play ROWS");
    return host.DoEntryStartingWith("Play in ", rowsAt(1), "Play in entry");
  }
  if (verb == "playlist") {
    if (a.size() >= 3 && a[1] == "new") {
      Host::Preanswers answers(host, {ui::UiAction::Set(kNameEditId, a[2]), ui::UiAction::Press(ui::kIdOk)});
      return a.size() > 3 ? host.Do("6000", rowsAt(3)) : host.Do("3045", {});
    }
    if (a.size() >= 4 && a[1] == "add") return host.AddToPlaylist(a[2], rowsAt(3));
    throw CommandError("usage: playlist new NAME [ROWS] | playlist add PLAYLIST ROWS");
  }
  if (verb == "backup") {
    need(3, "backup all|ROWS FOLDER");
    Host::Preanswers answers(host, {ui::UiAction::PickFolder(a[2])});
    return a[1] == "all" ? host.Do("4030", {}) : host.Do("3037", rowsAt(1));
  }
  // note new NAME, contact new NAME: in the Notes or Contacts folder.
  if (a.size() < 3 || a[1] != "new") throw CommandError("usage: " + verb + " new NAME");
  Host::Preanswers answers(host, {ui::UiAction::Set(kNameEditId, a[2]), ui::UiAction::Press(ui::kIdOk)});
  host.Do("3043", {});
}

enum class Outcome { Continue, Quit };

Outcome Run(Host& host, const std::string& line) {
  std::vector<std::string> w = Words(line);
  if (w.empty() || w[0][0] == '#') return Outcome::Continue;
  const std::string& verb = w[0];
  if (verb == "quit" || verb == "exit") return Outcome::Quit;
  if (verb == "help") {
    std::fputs(kHelp, stdout);
  } else if (verb == "info") {
    host.Info();
  } else if (verb == "register" || verb == "unregister") {
    if (w.size() != 2) throw CommandError(verb + " needs one module path");
    host.Register(w[1], verb == "register");
    host.Open();
  } else if (verb == "cd") {
    size_t at = line.find_first_not_of(' ', line.find("cd") + 2);
    std::string target = at == std::string::npos ? std::string("/") : line.substr(at);
    if (target.size() >= 2 && target.front() == '"' && target.back() == '"') target = target.substr(1, target.size() - 2);
    host.Cd(target);
  } else if (verb == "back") {
    host.Back();
  } else if (verb == "pwd") {
    host.Pwd();
  } else if (verb == "ls") {
    if (w.size() > 1 && w[1] == "-l") host.LsLong();
    else host.Ls();
  } else if (verb == "sort" || verb == "col" || verb == "open" || verb == "tb" || verb == "bar") {
    size_t at = line.find_first_not_of(' ', line.find(verb) + verb.size());
    std::string rest = at == std::string::npos ? std::string() : line.substr(at);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r')) rest.pop_back();
    if (rest.empty()) throw CommandError(verb + " needs an argument (help lists them)");
    if (verb == "sort") {
      host.Sort(rest);
    } else if (verb == "open") {
      host.OpenRow(rest);
    } else if (verb == "tb") {
      host.ToolbarButton(rest);
    } else if (verb == "bar") {
      host.BarButton(rest);
    } else if (rest == "reset") {
      host.Command(3064);
    } else if (rest == "compact") {
      host.Command(3066);
    } else {
      size_t cut = rest.rfind(' ');
      std::string state = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
      if (state != "on" && state != "off") throw CommandError("col NAME on|off, col reset or col compact");
      host.Column(rest.substr(0, cut), state == "on");
    }
  } else if (verb == "cols") {
    host.HeaderMenu();
  } else if (verb == "mode") {
    static const std::map<std::string, int> kModes = {{"icons", 2021}, {"small", 2022}, {"list", 2023}, {"details", 2024}};
    auto it = w.size() == 2 ? kModes.find(w[1]) : kModes.end();
    if (it == kModes.end()) throw CommandError("mode icons|small|list|details");
    host.Command(it->second);
  } else if (verb == "sel") {
    if (w.size() != 2) throw CommandError("sel ROWS|all|none|invert (rows as 0,2,3)");
    host.Select(w[1]);
  } else if (verb == "key") {
    if (w.size() != 2) throw CommandError("key needs one key");
    host.Key(w[1]);
  } else if (verb == "menus") {
    host.Menus();
  } else if (verb == "media") {
    if (w.size() != 2) throw CommandError("media next|prev|stop|play");
    host.Media(w[1]);
  } else if (verb == "pmenu") {
    host.PlaybackMenu();
  } else if (verb == "refresh") {
    host.RefreshView();
  } else if (verb == "wait") {
    if (w.size() < 2 || w.size() > 3 || w[1] != "refresh") throw CommandError("wait refresh [SECONDS]");
    host.WaitForRefresh(w.size() == 3 ? static_cast<uint32_t>(std::stoul(w[2])) : 600);
  } else if (verb == "enum") {
    host.Enum(w.size() > 1 ? static_cast<uint32_t>(std::stoul(w[1], nullptr, 0)) : SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
  } else if (verb == "tree") {
    host.Tree(w.size() > 1 ? std::stoi(w[1]) : 2);
  } else if (verb == "notify") {
    host.Notify();
  } else if (verb == "menu" || verb == "do" || verb == "delete" || verb == "remove" || verb == "props" ||
             verb == "play" || verb == "queue" || verb == "playlist" || verb == "backup" || verb == "note" ||
             verb == "contact") {
    RunMenuVerb(host, QuotedWords(line));
  } else if (verb == "copy") {
    if (w.size() < 2) throw CommandError("copy ROWS [FOLDER]");
    size_t at = line.find(w[1], line.find("copy") + 4) + w[1].size();
    host.Copy(w[1], Unquoted(line.substr(at)));
  } else if (verb == "clip") {
    if (w.size() < 3 || w[1] != "files") throw CommandError("clip files PATHS");
    host.ClipFiles(std::vector<std::string>(w.begin() + 2, w.end()));
  } else if (verb == "paste") {
    host.Key("Ctrl+V");
  } else if (verb == "drop") {
    size_t on = line.rfind(" on ");
    if (on == std::string::npos) throw CommandError("drop PATHS on FOLDER");
    std::vector<std::string> paths = Words(line.substr(line.find("drop") + 4, on - line.find("drop") - 4));
    if (paths.empty()) throw CommandError("drop PATHS on FOLDER");
    host.DropFiles(paths, Unquoted(line.substr(on + 4)));
  } else if (verb == "drag") {
    size_t to = line.find(" to ");
    if (w.size() < 4 || to == std::string::npos) throw CommandError("drag ROWS to FOLDER|row N|dir:PATH [--escape] [--middle]");
    std::string target = line.substr(to + 4);
    bool escape = false, middle = false;
    for (const char* flag : {" --escape", " --middle"}) {
      for (size_t at; (at = target.find(flag)) != std::string::npos;) {
        (std::string(flag) == " --escape" ? escape : middle) = true;
        target.erase(at, std::strlen(flag));
      }
    }
    host.Drag(w[1], Unquoted(target), escape, middle);
  } else if (verb == "answer") {
    if (!host.script()) throw CommandError("answer is for scripts; a person answers here directly");
    for (const ui::UiAction& a : ParseAnswer(w, line)) host.script()->Push(a);
  } else {
    throw CommandError("unknown command: " + verb + " (help lists them)");
  }
  return Outcome::Continue;
}

// Closes the namespace and checks that the library handed every block back.
int Finish(Host& host, int code) {
  host.Close();
  size_t left = ShellBlocksOutstanding();
  if (left != 0) {
    std::printf("error: %zu shell blocks outstanding\n", left);
    return code ? code : 1;
  }
  return code;
}

int Session(Host& host, int fd) {
  bool interactive = !host.scripted();
  auto prompt = [&] {
    if (interactive) {
      std::printf("%s", host.Prompt().c_str());
      std::fflush(stdout);
    }
  };
  prompt();
  std::string pending;
  for (;;) {
    Message msg;
    MessageWait w = WaitWindowMessageOrInput(msg, fd, kWaitForever);
    if (w == MessageWait::Quit) return Finish(host, static_cast<int>(msg.wParam));
    if (w == MessageWait::Message) {
      DispatchWindowMessage(msg);
      try {
        host.RunPendingBrowse();
      } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
      }
      if (host.StatusChanged()) prompt();
      continue;
    }
    if (w != MessageWait::Input) continue;
    char buf[4096];
    ssize_t n = ::read(fd, buf, sizeof buf);
    bool end = n <= 0;
    if (n > 0) pending.append(buf, static_cast<size_t>(n));
    if (end && !pending.empty() && pending.back() != '\n') pending += '\n';
    for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, nl);
      pending.erase(0, nl + 1);
      if (host.scripted() && !Words(line).empty()) {
        std::printf("> %s\n", line.c_str());
      }
      try {
        if (Run(host, line) == Outcome::Quit) return Finish(host, 0);
        host.RunPendingBrowse();
        host.StatusChanged();
      } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        std::fflush(stdout);
        if (!interactive) return Finish(host, 1);
      }
      std::fflush(stdout);
      prompt();
    }
    if (end) {
      if (interactive) std::printf("\n");
      return Finish(host, 0);
    }
  }
}

}  // namespace

static int Main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::string scriptPath;
  std::vector<std::string> command;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--script" && i + 1 < argc) {
      scriptPath = argv[++i];
    } else if (a == "--help" || a == "-h") {
      std::printf("usage: nshost [--script FILE] [COMMAND ARGS...]\n%s", kHelp);
      return 0;
    } else {
      command.push_back(a);
    }
  }
  int fd = 0;
  if (!scriptPath.empty()) {
    fd = ::open(scriptPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::printf("error: cannot read %s\n", scriptPath.c_str());
      return 1;
    }
  }
  bool scripted = !scriptPath.empty() || !::isatty(0) || !command.empty();
  Host host(scripted);
  // A script answers the library's boxes with its own "answer" lines, unless
  // the terminal driver was asked for to watch them.
  const char* chosen = std::getenv("HUB_UI_DRIVER");
  std::unique_ptr<ui::UiDriver> inner;
  ui::ScriptedUiDriver* script = nullptr;
  if (scripted && !(chosen && std::string(chosen) == "terminal")) {
    auto driver = std::make_unique<ui::ScriptedUiDriver>();
    script = driver.get();
    host.SetScriptDriver(script);
    inner = std::move(driver);
  } else {
    inner = ui::MakeUiDriverFromEnvironment();
  }
  auto hostDriver = std::make_unique<HostUiDriver>(std::move(inner), script);
  host.SetHostDriver(hostDriver.get());
  ui::SetUiDriver(std::move(hostDriver));
  try {
    if (!command.empty()) {
      // One command from the command line, then leave.
      std::string line;
      for (const auto& c : command) line += (line.empty() ? "" : " ") + c;
      if (command[0] != "register" && command[0] != "unregister") host.Open();
      Run(host, line);
      return Finish(host, 0);
    }
    host.Open();
  } catch (const std::exception& e) {
    std::printf("error: %s\n", e.what());
    return Finish(host, 1);
  }
  int code = Session(host, fd);
  if (fd != 0) ::close(fd);
  return code;
}

int main(int argc, char** argv) { return hub::platform::RunProgram(Main, argc, argv); }
