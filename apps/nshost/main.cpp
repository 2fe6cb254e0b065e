// nshost: the namespace host. It registers a build of the shell library as a
// namespace junction, opens the registered namespace the way Explorer does
// (class object, folder, Initialize with an absolute list that starts with
// the host's own item) and owns an Explorer window with its folder tree, so
// the manager's refreshes reach it. Commands come from a terminal or a script.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "platform/registry/registry.h"
#include "platform/shell/change_notify.h"
#include "platform/shell/image_list.h"
#include "platform/shell/module_info.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/driver.h"
#include "platform/window/window.h"
#include "shell/namespace/pidl_data.h"

namespace {

using namespace hub::platform;

constexpr const char* kClassesKey = "Software\\Classes\\CLSID\\";
constexpr const char* kJunctionsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace";
constexpr const char* kExplorerClass = "CabinetWClass";
constexpr const char* kTreeClass = "SysTreeView32";
constexpr uint32_t kVkF5 = 0x74;

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
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
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
};
ItemView ReadItem(LPCITEMIDLIST item) {
  ItemView v;
  const uint8_t* p = IdListBytes(item);
  if (ReadLittleEndian16(p) < hub::kPidlRecordSize) return v;
  v.kind = ReadLittleEndian32(p + hub::pidl_offset::kKind);
  v.position = ReadLittleEndian32(p + hub::pidl_offset::kPosition);
  v.count = ReadLittleEndian32(p + hub::pidl_offset::kCount);
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

class Host;
Host* g_host = nullptr;  // the tree window's refresh re-lists through it

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
      return true;
    }
    return false;
  }

  void Close() {
    if (!ns_) return;
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

  void Ls() {
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

  // `cd` with a name, a path ("Artists\Aurora Tide"), ".." or "/".
  void Cd(const std::string& target) {
    if (!ns_) throw CommandError("no namespace is registered (nshost register MODULE)");
    std::vector<Location> saved;
    for (const Location& l : path_) saved.push_back(Location{Share(l.folder), l.address});
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
  }

  void Back() {
    if (history_.empty()) throw CommandError("back: no earlier folder");
    path_ = std::move(history_.back());
    history_.pop_back();
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
    std::string address;  // the address bar's name of the folder
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
    // Folders the library changes are announced to this window.
    if (explorer_) RegisterChangeWindow(explorer_);
  }

  bool scripted_;
  ui::ScriptedUiDriver* scriptDriver_ = nullptr;
  std::optional<OpenNamespace> ns_;
  WindowHandle explorer_ = 0;
  WindowHandle tree_ = 0;
};

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

// "answer ok|cancel|yes|no|N", "answer press N", "answer set N TEXT",
// "answer menu N", "answer folder PATH": what a person would do next.
ui::UiAction ParseAnswer(const std::vector<std::string>& w, const std::string& line) {
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
  if (auto it = kButtons.find(w[1]); it != kButtons.end()) return ui::UiAction::Answer(it->second);
  if (w[1] == "press") return ui::UiAction::Press(number(2));
  if (w[1] == "menu") return ui::UiAction::ChooseMenu(number(2));
  if (w[1] == "set") {
    int id = number(2);
    size_t at = line.find(w[2], line.find("set") + 3) + w[2].size();
    return ui::UiAction::Set(id, at < line.size() ? line.substr(at + 1) : std::string());
  }
  if (w[1] == "folder") {
    size_t at = line.find("folder") + 6;
    return ui::UiAction::PickFolder(at < line.size() ? line.substr(at + 1) : std::string());
  }
  return ui::UiAction::Answer(number(1));
}

constexpr const char* kHelp =
    "info                 the namespace: product, module, class id, attach, live objects\n"
    "register MODULE      register a build of the shell library as the namespace\n"
    "unregister MODULE    remove its registration\n"
    "cd PATH              open a folder: a name, a path (Artists\\Aurora Tide), .. or /\n"
    "back                 the folder before the last cd\n"
    "pwd                  the folder's name in the address bar\n"
    "ls                   the right pane: position, name, kind, attributes (F folder, S sub-folders,\n"
    "                     D drop target), count; message rows as plain lines\n"
    "enum FLAGS           the raw enumeration (32 folders, 64 non-folders, 96 both)\n"
    "tree [DEPTH]         the folder tree below this folder (default depth 2), again on F5\n"
    "notify               the change notices received (removed, made, updated)\n"
    "answer ...           in a script: what the next message box or dialog is answered with\n"
    "                     (ok, cancel, yes, no, N, press N, set N TEXT, menu N, folder PATH)\n"
    "help                 this text\n"
    "quit                 close the namespace and leave\n";

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
    host.Ls();
  } else if (verb == "enum") {
    host.Enum(w.size() > 1 ? static_cast<uint32_t>(std::stoul(w[1], nullptr, 0)) : SHCONTF_FOLDERS | SHCONTF_NONFOLDERS);
  } else if (verb == "tree") {
    host.Tree(w.size() > 1 ? std::stoi(w[1]) : 2);
  } else if (verb == "notify") {
    host.Notify();
  } else if (verb == "answer") {
    if (!host.script()) throw CommandError("answer is for scripts; a person answers here directly");
    host.script()->Push(ParseAnswer(w, line));
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

int main(int argc, char** argv) {
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
  if (scripted && !(chosen && std::string(chosen) == "terminal")) {
    auto driver = std::make_unique<ui::ScriptedUiDriver>();
    host.SetScriptDriver(driver.get());
    ui::SetUiDriver(std::move(driver));
  }
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
