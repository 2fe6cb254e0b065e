// The shell library as a host meets it: loaded under each module name through
// the loader, asked through its exports and interfaces only.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/module_loader.h"
#include "platform/com/shell_allocator.h"
#include "platform/registry/registry.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/module_info.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/driver.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
using namespace hub::platform;

using GetClassObjectFn = HRESULT (*)(const CLSID&, const IID&, void**);
using NoArgumentFn = HRESULT (*)();

const std::string kLibraryDir = HUBSHELL_DIR;
constexpr const char* kMisnamed = "You have a misnamed DLL file.  Please reinstall.";

std::string ClassId(const char* tail) { return std::string("{BBA7EB3F-97AB-4EBD-BCA2-C3C8DBED44") + tail + "}"; }

ModuleInfo Info(const LoadedModule& m) {
  ModuleInfo info;
  auto entry = m.Function<DllMainFunction>("DllMain");
  EXPECT_TRUE(entry && entry(nullptr, kDllQueryModuleInfo, &info));
  return info;
}

// The process's processors, restored after each test (a load narrows them).
class AffinityGuard {
 public:
  AffinityGuard() { sched_getaffinity(0, sizeof saved_, &saved_); }
  ~AffinityGuard() { sched_setaffinity(0, sizeof saved_, &saved_); }
  const cpu_set_t& saved() const { return saved_; }

 private:
  cpu_set_t saved_;
};

class HubshellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto driver = std::make_unique<ui::ScriptedUiDriver>();
    driver_ = driver.get();
    previous_ = ui::SetUiDriver(std::move(driver));
  }
  void TearDown() override { ui::SetUiDriver(std::move(previous_)); }

  // A copy of the library under another file name.
  std::string CopyAs(const std::string& fileName) {
    if (dir_.empty()) dir_ = test::MakeTempDir("lib");
    std::string path = dir_ + "/" + fileName;
    fs::copy_file(kLibraryDir + "/hubshell.so", path, fs::copy_options::overwrite_existing);
    return path;
  }
  static void SetDword(const std::string& product, const char* name, uint32_t value) {
    std::string key = "Software\\Quorral Software\\" + product + " Explorer";
    Registry::Instance().CreateKey(Hive::CurrentUser, key);
    ASSERT_TRUE(Registry::Instance().Write(Hive::CurrentUser, key, name, RegistryValue::Dword(value)));
  }

  AffinityGuard affinity_;
  ui::ScriptedUiDriver* driver_ = nullptr;
  std::unique_ptr<ui::UiDriver> previous_;
  std::string dir_;
};

struct NameCase {
  std::string file;       // a file in the build's library folder, or "copy:" + a name to copy as
  bool loads;
  int product;
  bool attaches;
  uint32_t device, idA, idB;
  const char* classTail;  // null: no class id
};

TEST_F(HubshellTest, EveryModuleNameDecidesLoadAttachAndClassId) {
  const NameCase cases[] = {
      {"kestro.so", true, 1, false, 0, 0, 0, "40"},
      {"riotov.so", true, 2, false, 0, 0, 0, nullptr},
      {"ovelin.so", true, 4, false, 0, 0, 0, nullptr},
      {"halvern.so", true, 5, false, 0, 0, 0, nullptr},
      {"tarveld.so", true, 7, false, 0, 0, 0, nullptr},
      {"pellmar.so", true, 9, false, 0, 0, 0, nullptr},
      {"bramwel.so", true, 8, false, 0, 0, 0, nullptr},
      {"hubshell.so", true, 1, false, 0, 0, 0, nullptr},
      {"kestroii.so", true, 1, true, 1, 0, 0, "4A"},
      {"riotovsb.so", true, 6, true, 6, 0, 0, "60"},
      {"riotovrt.so", true, 6, true, 6, 1, 0, "61"},
      {"riotovcb.so", true, 2, true, 9, 1, 0, "62"},
      {"riotovca.so", true, 2, true, 9, 2, 0, "63"},
      {"riotovnr.so", true, 2, true, 9, 3, 0, "64"},
      {"riotoveg.so", true, 2, true, 9, 4, 0, "65"},
      {"riotovkm.so", true, 2, true, 9, 5, 0, "66"},
      {"ovelinpw.so", true, 4, true, 4, 0, 0, "90"},
      {"ovelinps.so", true, 4, true, 4, 2, 0, "91"},
      {"tarveldih.so", true, 7, true, 10, 0, 0, "20"},
      {"bramwelhd.so", true, 8, true, 12, 0, 0, "10"},
      {"pellmarpc.so", true, 9, true, 7, 0, 0, "A0"},
      {"halverndj.so", true, 5, true, 0, 5, 0, "31"},
      {"kestroj1.so", true, 1, true, 0, 1, 1, "4B"},
      {"kestroj2.so", true, 1, true, 0, 2, 1, "4D"},
      {"kestroj3.so", true, 1, true, 0, 3, 1, "4E"},
      {"kestrojz.so", true, 1, true, 0, 4, 1, "4F"},
      {"kestrocr.so", true, 1, true, 3, 0, 1, "4C"},
      {"kestromv.so", true, 1, true, 5, 0, 1, "51"},
      {"kestromn.so", true, 1, true, 8, 0, 1, "52"},
      {"kestrom2.so", true, 1, true, 11, 0, 1, "53"},
      {"ml_kestroj1.so", true, 1, true, 0, 1, 1, "4E"},
      {"ml_kestroj2.so", true, 1, true, 0, 2, 1, "4E"},
      {"ml_kestroj3.so", true, 1, true, 0, 3, 1, "4E"},
      {"ml_kestrojz.so", true, 1, true, 0, 4, 1, "4E"},
      {"copy:KESTROJ1.so", true, 1, true, 0, 1, 1, "4B"},
      {"copy:ml_kestro.so", false, 0, false, 0, 0, 0, nullptr},
      {"copy:foo.so", false, 0, false, 0, 0, 0, nullptr},
  };
  const uint16_t idListFormat = RegisterClipboardFormatName("Quorral Explorer Kernel ID List");
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = c.file.starts_with("copy:") ? CopyAs(c.file.substr(5)) : kLibraryDir + "/" + c.file;
    if (!c.loads) driver_->Push(ui::UiAction::Answer(ui::kIdOk));
    size_t messages = driver_->Messages().size();
    std::string error;
    std::optional<LoadedModule> m = LoadedModule::Load(path, &error);
    ASSERT_EQ(m.has_value(), c.loads) << error;
    if (!c.loads) {
      ASSERT_EQ(driver_->Messages().size(), messages + 1);
      EXPECT_EQ(driver_->Messages().back().text, kMisnamed);
      continue;
    }
    EXPECT_EQ(driver_->Messages().size(), messages) << "a good name shows nothing";
    ModuleInfo info = Info(*m);
    EXPECT_EQ(info.product, c.product);
    EXPECT_EQ(info.attachRequested != 0, c.attaches);
    EXPECT_EQ(info.device, c.device);
    EXPECT_EQ(info.idA, c.idA);
    EXPECT_EQ(info.idB, c.idB);
    EXPECT_EQ(info.attached, 0) << "no manager runs";
    EXPECT_EQ(info.kernelIdListFormat, idListFormat);
    EXPECT_EQ(info.smallImages, 36);
    EXPECT_EQ(info.largeImages, 36);
    EXPECT_EQ(std::string(info.classId), c.classTail ? ClassId(c.classTail) : "");

    auto getClassObject = m->Function<GetClassObjectFn>("DllGetClassObject");
    ASSERT_TRUE(getClassObject);
    // Every name refuses the other names' ids; a name with an id accepts it,
    // and its folder reports the same id.
    for (const char* other : {"40", "4B", "4E", "20", "A0", "99"}) {
      CLSID clsid = *GuidFromString(ClassId(other));
      ComPtr<IClassFactory> factory;
      HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.Out());
      bool mine = c.classTail && std::string(other) == c.classTail;
      EXPECT_EQ(hr, mine ? S_OK : CLASS_E_CLASSNOTAVAILABLE) << other;
      if (!mine) {
        EXPECT_FALSE(factory);
        continue;
      }
      ComPtr<IPersistFolder> folder;
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFolder, folder.Out()), S_OK);
      CLSID reported;
      EXPECT_EQ(folder->GetClassID(&reported), S_OK);
      EXPECT_EQ(reported, clsid);
    }
  }
}

TEST_F(HubshellTest, UseClDriverZeroAttachesDeviceOneWithSecondIdZero) {
  SetDword("Kestro", "JB_UseCLDriver", 0);
  for (const char* name : {"kestroj1.so", "ml_kestroj1.so"}) {
    auto m = LoadedModule::Load(kLibraryDir + "/" + name);
    ASSERT_TRUE(m) << name;
    ModuleInfo info = Info(*m);
    EXPECT_EQ(info.device, 1u) << name;
    EXPECT_EQ(info.idA, 1u) << name;
    EXPECT_EQ(info.idB, 0u) << name;
  }
  SetDword("Kestro", "JB_UseCLDriver", 7);
  auto m = LoadedModule::Load(kLibraryDir + "/kestroj1.so");
  ASSERT_TRUE(m);
  EXPECT_EQ(Info(*m).device, 0u);
  EXPECT_EQ(Info(*m).idB, 1u);
}

TEST_F(HubshellTest, AffinitySettingNarrowsTheHostToAllowedProcessors) {
  struct Case {
    std::optional<uint32_t> setting;
    uint32_t mask;
  } cases[] = {{std::nullopt, 1}, {0, 1}, {3, 3}};
  for (const Case& c : cases) {
    std::string key = "Software\\Quorral Software\\Tarveld Explorer";
    if (c.setting) {
      SetDword("Tarveld", "Vad_SMPAffinity", *c.setting);
    } else {
      Registry::Instance().DeleteValue(Hive::CurrentUser, key, "Vad_SMPAffinity");
    }
    sched_setaffinity(0, sizeof(cpu_set_t), &affinity_.saved());
    cpu_set_t expected;
    CPU_ZERO(&expected);
    for (int cpu = 0; cpu < 32; ++cpu)
      if ((c.mask >> cpu & 1) && CPU_ISSET(cpu, &affinity_.saved())) CPU_SET(cpu, &expected);
    if (CPU_COUNT(&expected) == 0) expected = affinity_.saved();  // none allowed: unchanged
    auto m = LoadedModule::Load(kLibraryDir + "/tarveldih.so");
    ASSERT_TRUE(m);
    cpu_set_t now;
    sched_getaffinity(0, sizeof now, &now);
    EXPECT_TRUE(CPU_EQUAL(&now, &expected)) << "setting " << c.setting.value_or(-1);
  }
}

// Every key and value of the store, for comparing before and after.
std::vector<std::string> DumpRegistry(const std::string& key = "") {
  std::vector<std::string> out;
  for (const auto& [name, value] : Registry::Instance().ListValues(Hive::CurrentUser, key))
    out.push_back(key + "|" + name + "=" + value.data);
  for (const std::string& sub : Registry::Instance().ListSubkeys(Hive::CurrentUser, key)) {
    std::string child = key.empty() ? sub : key + "\\" + sub;
    out.push_back(child);
    for (auto& line : DumpRegistry(child)) out.push_back(std::move(line));
  }
  return out;
}

TEST_F(HubshellTest, ComContract) {
  auto m = LoadedModule::Load(kLibraryDir + "/tarveldih.so");
  ASSERT_TRUE(m);
  auto getClassObject = m->Function<GetClassObjectFn>("DllGetClassObject");
  auto canUnload = m->Function<NoArgumentFn>("DllCanUnloadNow");
  ASSERT_TRUE(getClassObject && canUnload);
  auto live = [&] { return Info(*m).liveObjects; };
  const CLSID mine = *GuidFromString(ClassId("20"));
  ASSERT_EQ(live(), 1) << "the application object counts itself";
  EXPECT_EQ(canUnload(), S_FALSE);

  // The class object.
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(*GuidFromString(ClassId("21")), IID_IClassFactory, &raw), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(raw, nullptr);
  raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(mine, IID_IShellFolder, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(live(), 1) << "a refused interface leaves no factory";
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(mine, IID_IUnknown, factory.Out()), S_OK);
  EXPECT_EQ(live(), 2);
  EXPECT_EQ(factory->LockServer(true), E_NOTIMPL);

  // What the factory makes.
  struct Case {
    const char* what;
    bool outer;
    IID iid;
    HRESULT result;
    int liveAfter;  // while the object is held
  } cases[] = {
      {"outer object", true, IID_IShellFolder, CLASS_E_NOAGGREGATION, 2},
      {"folder", false, IID_IShellFolder, S_OK, 3},
      {"folder by persistence", false, IID_IPersistFolder, S_OK, 3},
      {"interface no object has", false, IID_IDropTarget, E_NOINTERFACE, 2},
      {"menu for initialisation", false, IID_IShellExtInit, S_OK, 3},
      {"menu asked for as such", false, IID_IContextMenu, S_OK, 3},
  };
  int fakeOuter = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    void* out = reinterpret_cast<void*>(1);
    HRESULT hr = factory->CreateInstance(c.outer ? reinterpret_cast<IUnknown*>(&fakeOuter) : nullptr, c.iid, &out);
    EXPECT_EQ(hr, c.result);
    EXPECT_EQ(out == nullptr, hr != S_OK);
    EXPECT_EQ(live(), c.liveAfter);
    if (!out) continue;
    auto* unknown = static_cast<IUnknown*>(out);
    if (c.iid == IID_IContextMenu) {
      // A menu, not the factory: it adds no commands and takes initialisation.
      auto* menu = static_cast<IContextMenu*>(out);
      EXPECT_EQ(menu->QueryContextMenu(0, 0, 1, 100, CMF_NORMAL), S_OK);
      ComPtr<IShellExtInit> init;
      ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, init.Out()), S_OK);
      EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), S_OK);
      ComPtr<IClassFactory> notAFactory;
      EXPECT_EQ(menu->QueryInterface(IID_IClassFactory, notAFactory.Out()), E_NOINTERFACE);
    }
    if (c.iid == IID_IShellFolder) {
      auto* folder = static_cast<IShellFolder*>(out);
      ComPtr<IPersistFolder> persist;
      ASSERT_EQ(folder->QueryInterface(IID_IPersistFolder, persist.Out()), S_OK);
      CLSID reported;
      EXPECT_EQ(persist->GetClassID(&reported), S_OK);
      EXPECT_EQ(reported, mine);
      ComPtr<IEnumIDList> items;
      // Without a manager the listing is made (and empty for the tree), never refused.
      EXPECT_EQ(folder->EnumObjects(0, SHCONTF_FOLDERS, items.Put()), S_OK);
      LPITEMIDLIST first = nullptr;
      uint32_t fetched = 0;
      EXPECT_EQ(items->Next(1, &first, &fetched), S_FALSE);
      EXPECT_EQ(fetched, 0u);
    }
    unknown->Release();
    EXPECT_EQ(live(), 2);
  }
  factory.Reset();
  EXPECT_EQ(live(), 1);
  EXPECT_EQ(canUnload(), S_FALSE);

  // Registration writes nothing of its own.
  std::vector<std::string> before = DumpRegistry();
  EXPECT_EQ(m->Function<NoArgumentFn>("DllRegisterServer")(), S_OK);
  EXPECT_EQ(m->Function<NoArgumentFn>("DllUnregisterServer")(), S_OK);
  EXPECT_EQ(DumpRegistry(), before);
}

TEST_F(HubshellTest, FolderKeepsTheHostsJunctionListAndRefusesAMalformedOne) {
  auto m = LoadedModule::Load(kLibraryDir + "/tarveldih.so");
  ASSERT_TRUE(m);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(m->Function<GetClassObjectFn>("DllGetClassObject")(*GuidFromString(ClassId("20")), IID_IClassFactory,
                                                                 factory.Out()),
            S_OK);
  ComPtr<IPersistFolder> folder;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFolder, folder.Out()), S_OK);
  size_t blocks = ShellBlocksOutstanding();
  // The host's own item first, as every absolute list starts.
  auto* junction = static_cast<uint8_t*>(ShellAllocator().Alloc(14));
  const uint8_t bytes[14] = {12, 0, 'h', 'o', 's', 't', ' ', 'i', 't', 'e', 'm', '!', 0, 0};
  std::memcpy(junction, bytes, sizeof bytes);
  EXPECT_EQ(folder->Initialize(AsIdList(junction)), S_OK);
  EXPECT_EQ(ShellBlocksOutstanding(), blocks + 2) << "the folder keeps its own copy";
  junction[0] = 1;  // an item of one byte
  EXPECT_EQ(folder->Initialize(AsIdList(junction)), E_INVALIDARG);
  ShellAllocator().Free(junction);
  folder.Reset();
  factory.Reset();
  EXPECT_EQ(ShellBlocksOutstanding(), blocks) << "the folder freed its copy";
}

// Runs nshost to its end; its output lines and exit code.
struct HostRun {
  std::vector<std::string> lines;
  int code = -1;
  bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
};

HostRun RunHost(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {NSHOST_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  test::ChildProcess child(argv);
  HostRun run;
  while (auto line = child.ReadLine(30000)) run.lines.push_back(*line);
  auto status = child.Wait(30000);
  if (status && WIFEXITED(*status)) run.code = WEXITSTATUS(*status);
  return run;
}

std::string WriteScript(const std::string& text) {
  std::string path = test::MakeTempDir("script") + "/script.txt";
  std::ofstream(path) << text;
  return path;
}

TEST(NshostTest, RegistersTheLibraryAndServesAScript) {
  std::string module = kLibraryDir + "/tarveldih.so";
  HostRun reg = RunHost({"register", module});
  EXPECT_EQ(reg.code, 0);
  EXPECT_TRUE(reg.Has("registered " + ClassId("20") + " Tarveld Explorer (" + module + ")")) << reg.lines.size();
  auto& r = Registry::Instance();
  EXPECT_EQ(r.Read(Hive::CurrentUser, "Software\\Classes\\CLSID\\" + ClassId("20") + "\\InprocServer32", "")->data,
            module);

  HostRun info = RunHost({"--script", WriteScript("info\nanswer ok\nquit\n")});
  EXPECT_EQ(info.code, 0);
  for (const char* line : {"product: 7 \"Tarveld\"", "module: tarveldih (" HUBSHELL_DIR "/tarveldih.so)",
                           "attach: device 10, ids {0}/{0}", "not attached (is the manager running?)",
                           "DllCanUnloadNow: S_FALSE"})
    EXPECT_TRUE(info.Has(line)) << line;
  EXPECT_TRUE(info.Has("class id: " + ClassId("20")));

  // A failed command ends the script with an error.
  HostRun bad = RunHost({"--script", WriteScript("frobnicate\ninfo\n")});
  EXPECT_EQ(bad.code, 1);
  EXPECT_TRUE(bad.Has("error: unknown command: frobnicate (help lists them)"));
  EXPECT_FALSE(bad.Has("folder: Tarveld Explorer"));

  HostRun unreg = RunHost({"unregister", module});
  EXPECT_EQ(unreg.code, 0);
  HostRun none = RunHost({"info"});
  EXPECT_EQ(none.code, 1);
  EXPECT_TRUE(none.Has("error: no namespace is registered (nshost register MODULE)"));
}

TEST(NshostTest, WithoutAManagerTheRightPaneSaysSoAndTheTreeIsEmpty) {
  std::string module = kLibraryDir + "/tarveldih.so";
  ASSERT_EQ(RunHost({"register", module}).code, 0);
  HostRun run = RunHost({"--script", WriteScript("ls\ntree\npwd\nquit\n")});
  EXPECT_EQ(run.code, 0);
  auto between = [&](const std::string& from, const std::string& to) {
    auto a = std::find(run.lines.begin(), run.lines.end(), from);
    auto b = std::find(a, run.lines.end(), to);
    return std::vector<std::string>(a == run.lines.end() ? a : a + 1, b);
  };
  std::vector<std::string> pane = between("> ls", "> tree");
  ASSERT_EQ(pane.size(), 3u);
  EXPECT_EQ(pane[0], "It appears Tarveld Manager timed out while counting items on your device.");
  EXPECT_EQ(pane[1], "Please try closing this Explorer window and opening a new one.");
  EXPECT_EQ(pane[2], "If this problem persists, please contact us by double-clicking here.");
  EXPECT_EQ(between("> tree", "> pwd"), std::vector<std::string>{"Tarveld Explorer"});
  EXPECT_EQ(RunHost({"unregister", module}).code, 0);
}

// A session fed through a pipe, as a person types: each command's output is
// read up to the echo of the "pwd" that follows it.
TEST(NshostTest, AnotherManagerVersionIsNamedAndARestartedManagerIsFound) {
  std::string module = kLibraryDir + "/tarveldih.so";
  ASSERT_EQ(RunHost({"register", module}).code, 0);
  auto startPeer = [](const char* mode) {
    auto peer = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{KDP_PEER_PATH, "serve", "irivmgr", mode, "60000"});
    auto ready = peer->ReadLine(10000);
    EXPECT_TRUE(ready && ready->rfind("ready", 0) == 0);
    return peer;
  };
  auto peer = startPeer("oldversion");
  std::string fifo = test::MakeTempDir("fifo") + "/commands";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  test::ChildProcess host({NSHOST_PATH, "--script", fifo});
  int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  auto send = [&](const std::string& command) {
    std::string text = command + "\npwd\n";
    std::vector<std::string> out;
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    while (auto line = host.ReadLine(30000)) {
      if (*line == "> pwd") {
        host.ReadLine(30000);  // the address
        break;
      }
      if (*line != "> " + command) out.push_back(*line);
    }
    return out;
  };
  std::vector<std::string> pane = send("ls");
  ASSERT_EQ(pane.size(), 4u);
  EXPECT_EQ(pane[0], "The installed versions of Tarveld Explorer and Tarveld Manager are different:");
  EXPECT_NE(pane[1].find(", Manager: 0.9.0"), std::string::npos) << pane[1];
  EXPECT_EQ(pane[1].rfind("Explorer: ", 0), 0u) << pane[1];

  // The manager goes and a new one comes: the next listing finds it.
  peer->Kill();
  peer->Wait(10000);
  peer = startPeer("memory");
  std::vector<std::string> rows = send("ls");
  ASSERT_GE(rows.size(), 2u);
  // The pane is a table: the header, then the root's rows.
  EXPECT_NE(rows[0].find("Name"), std::string::npos) << rows[0];
  EXPECT_TRUE(std::any_of(rows.begin() + 1, rows.end(),
                          [](const std::string& r) { return r.find("Audio Tracks") != std::string::npos; }));
  EXPECT_EQ(::write(fd, "quit\n", 5), 5);
  ::close(fd);
  EXPECT_EQ(host.Wait(30000), std::optional<int>(0));
  peer->Kill();
  EXPECT_EQ(RunHost({"unregister", module}).code, 0);
}

}  // namespace
}  // namespace hub
