#include "shell/transfer/send_to.h"
#include "shell/transfer/paste.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/folders.h"
#include "common/product_profile.h"
#include "common/settings.h"
#include "platform/kernel/file_lock.h"
#include "platform/registry/registry.h"
#include "platform/shell/clipboard.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/drop_files.h"
#include "platform/ui/driver.h"
#include "shell/namespace/pidl_builder.h"
#include "shell/namespace/the_client.h"
#include "support/child_process.h"
#include "support/hermetic_env.h"
#include "testdevice/null_device.h"

namespace hub {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using platform::Hive;
using platform::Registry;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class FamilyDevice : public test::NullDevice {
 public:
  std::string GetFamilyCode(const KernelId&) override { return code; }
  void Connect(int) override { ++connects; }
  int HasMemorySegments() override { return segments; }
  std::string code = "ih";
  int connects = 0;
  int segments = 0;
};

TEST(LauncherTableTest, RowsAndChoice) {
  ASSERT_EQ(std::size(LauncherTable()), 26u);
  for (const auto& row : LauncherTable()) {
    auto c = FindLauncher({std::string("/opt/q/") + row.fileName, "/tmp/_txman.dat"}, 0);
    ASSERT_TRUE(c) << row.fileName;
    // The first row whose name the launcher's holds wins, as in table order.
    const LauncherRow* first = nullptr;
    for (const auto& r : LauncherTable())
      if (!first && std::string(row.fileName).find(r.fileName) != std::string::npos) first = &r;
    EXPECT_EQ(c->device, first->device) << row.fileName;
    EXPECT_EQ(c->a, first->a) << row.fileName;
    EXPECT_EQ(c->connect, first->connect) << row.fileName;
    EXPECT_EQ(c->targetKey, first->targetKey) << row.fileName;
  }
  auto j1 = FindLauncher({"hubshellj1.exe"}, 0);
  EXPECT_EQ(j1->device, 1u);
  EXPECT_EQ(j1->b, 0u);
  j1 = FindLauncher({"hubshellj1.exe"}, 1);
  EXPECT_EQ(j1->device, 0u);
  EXPECT_EQ(j1->a, 1u);
  EXPECT_EQ(j1->b, 1u);
  // argv[0] first: a path naming another launcher never picks that family.
  auto ih = FindLauncher({"/i/hubshellih.exe", "/music/hubshellim.exe/x.mp3"}, 0);
  EXPECT_EQ(ih->device, 10u);
  EXPECT_EQ(FindLauncher({"/bin/launcher", "/music/hubshellim.exe"}, 0)->device, 1u);
  EXPECT_FALSE(FindLauncher({"/bin/launcher", "x"}, 0));
}

TEST(LauncherTableTest, EveryRowAttachesAsItsFamilyNeeds) {
  struct Row {
    const char* file;
    uint32_t device, a, b;
    bool connect;
    uint32_t target;
  } const rows[] = {
      {"hubshellim.exe", 1, 0, 0, false, 0},   {"hubshellsm.exe", 1, 0, 0, false, 1},
      {"hubshellj1.exe", 1, 1, 0, false, 0},   {"hubshellj2.exe", 0, 2, 1, false, 0},
      {"hubshellj3.exe", 0, 3, 1, false, 0},   {"hubshelljz.exe", 0, 4, 1, false, 0},
      {"hubshellcr.exe", 3, 0, 1, false, 0},   {"hubshellmv.exe", 5, 0, 1, false, 0},
      {"hubshellmn.exe", 8, 0, 1, false, 0},   {"hubshellm2.exe", 11, 0, 1, false, 0},
      {"hubshellsbim.exe", 6, 0, 0, true, 0},  {"hubshellsbsd.exe", 6, 0, 0, true, 1},
      {"hubshellrt.exe", 6, 1, 0, true, 0},    {"hubshellcbim.exe", 9, 1, 0, true, 0},
      {"hubshellcbsd.exe", 9, 1, 0, true, 1},  {"hubshellcaim.exe", 9, 2, 0, true, 0},
      {"hubshellcasd.exe", 9, 2, 0, true, 1},  {"hubshellnr.exe", 9, 3, 0, true, 0},
      {"hubshelleg.exe", 9, 4, 0, true, 0},    {"hubshellkm.exe", 9, 5, 0, true, 0},
      {"hubshellpw.exe", 4, 0, 0, true, 1},    {"hubshellps.exe", 4, 2, 0, true, 0},
      {"hubshellih.exe", 10, 0, 0, true, 1},   {"hubshellhd.exe", 12, 0, 0, true, 1},
      {"hubshellpc.exe", 7, 0, 0, true, 1},    {"hubshelldj.exe", 0, 5, 0, true, 1},
  };
  static_assert(std::size(rows) == kLauncherCount);
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& want = rows[i];
    EXPECT_STREQ(LauncherTable()[i].fileName, want.file) << "row " << i;
    auto got = FindLauncher({std::string("/usr/lib/q/") + want.file, "/m/a.mp3"}, 0);
    ASSERT_TRUE(got) << want.file;
    EXPECT_EQ(got->device, want.device) << want.file;
    EXPECT_EQ(got->a, want.a) << want.file;
    EXPECT_EQ(got->b, want.b) << want.file;
    EXPECT_EQ(got->connect, want.connect) << want.file;
    EXPECT_EQ(got->targetKey, want.target) << want.file;
  }
}

TEST(LauncherTableTest, ArgumentAndStagingSplits) {
  EXPECT_EQ(SplitSendToArguments("\"/a b/x.mp3\" \"/y.mp3\""), (std::vector<std::string>{"/a b/x.mp3", "/y.mp3"}));
  EXPECT_EQ(SplitSendToArguments("  "), std::vector<std::string>{});
  EXPECT_EQ(SplitSendToArguments("/single path"), std::vector<std::string>{"/single path"});
  EXPECT_EQ(SplitStagingLines("a\r\n\nb\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitStagingLines(""), std::vector<std::string>{});
}

class SendToTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    auto driver = std::make_unique<ui::ScriptedUiDriver>();
    script_ = driver.get();
    previous_ = ui::SetUiDriver(std::move(driver));
    BindClient(&device_);
    install_ = test::MakeTempDir("install");
    SetLauncherSpawner([this](const std::string& program, const std::string& argument) {
      spawned_.push_back({program, argument});
      return true;
    });
    SetSendToRunner({[this](TempFile&, const KernelId& d, const std::vector<std::string>& files,
                            const TransferGroups& groups) {
                       ran_ = files;
                       groups_ = groups;
                       destination_ = d.key[0];
                     },
                     [this](TempFile&, const KernelId& d, const std::vector<std::string>& paths) {
                       data_ = paths;
                       destination_ = d.key[0];
                     }});
  }
  void TearDown() override {
    SetLauncherSpawner(nullptr);
    SetSendToRunner({});
    SetSendToCommandLine(std::nullopt);
    BindClient(nullptr);
    ui::SetUiDriver(std::move(previous_));
    Registry::Instance().DeleteKey(Hive::CurrentUser, TheProductProfile().productRegistryKey);
  }
  void Install() {
    Registry::Instance().Write(Hive::CurrentUser, TheProductProfile().productRegistryKey, "",
                               platform::RegistryValue::String(install_));
    std::ofstream(install_ + "/hubshellih.exe") << "#!/bin/sh\n";
    fs::permissions(install_ + "/hubshellih.exe", fs::perms::owner_all);
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : script_->Messages()) out.push_back(m.text);
    return out;
  }

  FamilyDevice device_;
  ui::ScriptedUiDriver* script_ = nullptr;
  std::unique_ptr<ui::UiDriver> previous_;
  std::string install_;
  std::vector<std::pair<std::string, std::string>> spawned_;
  std::vector<std::string> ran_, data_;
  TransferGroups groups_;
  uint32_t destination_ = 99;
};

TEST_F(SendToTest, StagingWritesAPrivateRequestAndStartsTheLauncher) {
  Install();
  StageTransferToDevice(KernelId(0), {"/a b/x.mp3", "/y.mp3"});
  StageDropToDevice(KernelId(7), {"/d.txt"});
  ASSERT_EQ(spawned_.size(), 2u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(spawned_[0].first, install_ + "/hubshellih.exe");
  EXPECT_EQ(Slurp(spawned_[0].second), "/a b/x.mp3\n/y.mp3\n");
  EXPECT_EQ(Slurp(spawned_[1].second), "7\n/d.txt\n");
  EXPECT_NE(fs::path(spawned_[0].second).parent_path(), fs::path(spawned_[1].second).parent_path())
      << "two quick stagings keep both";
  struct stat st {};
  ASSERT_EQ(::stat(spawned_[0].second.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(fs::path(spawned_[0].second).parent_path().parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(SendToTest, StagingFailuresStartNothing) {
  const std::string notInstalled = "Could not read path to hubshellxx.exe from registry.  " +
                                   TheProductProfile().displayName + " was not installed properly.";
  struct Case {
    const char* what;
    bool install;
    const char* code;
    std::string message;
  } cases[] = {{"no install folder", false, "ih", notInstalled},
               {"a code from outside the table", true, "../x", "Could not set up transfer."},
               {"a launcher that is missing", true, "hd", "Could not set up transfer."}};
  for (const auto& c : cases) {
    script_->Push(ui::UiAction::Answer(ui::kIdOk));
    if (c.install) Install();
    device_.code = c.code;
    StageTransferToDevice(KernelId(0), {"/x.mp3"});
    EXPECT_TRUE(spawned_.empty()) << c.what;
    ASSERT_FALSE(Messages().empty()) << c.what;
    EXPECT_EQ(Messages().back(), c.message) << c.what;
  }
  // An open tx2device is refused.
  Install();
  device_.code = "ih";
  fs::permissions(GetTempFolder("tx2device"), fs::perms::all);
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  StageTransferToDevice(KernelId(0), {"/x.mp3"});
  EXPECT_TRUE(spawned_.empty());
  EXPECT_EQ(Messages().back(), "Could not set up transfer.");
  fs::permissions(GetTempFolder("tx2device"), fs::perms::owner_all);
}

TEST_F(SendToTest, TheEntryReadsStagingFilesExpandsAndRuns) {
  Install();
  std::string music = test::MakeTempDir("music");
  std::ofstream(music + "/b.mp3") << "b";
  std::ofstream(music + "/A.mp3") << "a";
  SetSendToCommandLine(std::vector<std::string>{install_ + "/hubshellih.exe", "x"});

  StageTransferToDevice(KernelId(0), {music});
  ASSERT_EQ(spawned_.size(), 1u);
  std::string staged = spawned_[0].second;
  DoHubshell("\"" + staged + "\"", "hubshellih.exe");
  EXPECT_EQ(ran_, (std::vector<std::string>{music + "/A.mp3", music + "/b.mp3"}));
  EXPECT_EQ(destination_, 1u);  // the row's target key
  EXPECT_EQ(device_.connects, 1);
  EXPECT_FALSE(fs::exists(staged));
  EXPECT_FALSE(fs::exists(fs::path(staged).parent_path())) << "the request folder goes with it";
  EXPECT_TRUE(fs::exists(GetTempFolder("reports") + "_exlog.txt"));

  // A data drop: its key and the paths as given.
  StageDropToDevice(KernelId(7), {music + "/A.mp3"});
  DoHubshell("\"" + spawned_[1].second + "\"", "hubshellih.exe");
  EXPECT_EQ(data_, std::vector<std::string>{music + "/A.mp3"});
  EXPECT_EQ(destination_, 7u);

  // Nothing found: the expansion log is offered (No).
  script_->Push(ui::UiAction::Answer(ui::kIdNo));
  DoHubshell("\"/nothing/here.mp3\"", "hubshellih.exe");
  EXPECT_EQ(Messages().back(), "No files found after path expansions.  Would you like to view the expansion log?");

  struct Case {
    std::string arguments;
    std::vector<std::string> argv;
    std::string message;
  } cases[] = {
      {"  ", {install_ + "/hubshellih.exe"}, "Send To did not receive any filenames."},
      {"\"/x.mp3\"", {"/bin/other"}, "Send To was called with an invalid command-line:\n/bin/other"},
      {"\"/gone/_txman.dat\"", {install_ + "/hubshellih.exe"}, "Transfer setup found no files."},
  };
  for (const auto& c : cases) {
    SetSendToCommandLine(c.argv);
    script_->Push(ui::UiAction::Answer(ui::kIdOk));
    DoHubshell(c.arguments, "hubshellih.exe");
    EXPECT_EQ(Messages().back(), c.message);
  }
}

TEST_F(SendToTest, StagingFilesAreReadOnlyAsTheSingleArgument) {
  Install();
  SetSendToCommandLine(std::vector<std::string>{install_ + "/hubshellih.exe", "x"});
  std::string music = test::MakeTempDir("songs");
  std::ofstream(music + "/a.mp3") << "a";
  std::ofstream(music + "/b.mp3") << "b";
  std::string dir = test::MakeTempDir("requests");
  auto write = [&](const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(dir + "/" + name).parent_path());
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
    return dir + "/" + name;
  };
  struct Case {
    const char* what;
    std::string file, text;
    bool data;
    std::vector<std::string> paths;
    uint32_t destination;
  } cases[] = {
      {"CR LF lines, an empty one kept", "1/_txman.dat", music + "/b.mp3\r\n\r\n" + music + "/a.mp3\r\n", false,
       {music + "/a.mp3", music + "/b.mp3"}, 1},
      {"a data folder's key first", "2/_txdat.dat", "7\n" + music + "/b.mp3\n", true, {music + "/b.mp3"}, 7},
      {"a first line that is no number: key 0", "3/_txdat.dat", "abc\n" + music + "/a.mp3\n", true,
       {music + "/a.mp3"}, 0},
      {"a name holding both: _txman.dat is looked for first", "4/_txdat.dat_txman.dat", music + "/a.mp3\n", false,
       {music + "/a.mp3"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ran_.clear();
    data_.clear();
    destination_ = 99;
    std::string path = write(c.file, c.text);
    DoHubshell("\"" + path + "\"", "hubshellih.exe");
    EXPECT_EQ(c.data ? data_ : ran_, c.paths);
    EXPECT_TRUE((c.data ? ran_ : data_).empty());
    EXPECT_EQ(destination_, c.destination);
    EXPECT_FALSE(fs::exists(path)) << "read, then deleted";
  }

  // Two arguments are two paths, whatever they are named: neither is audio, so both go as data files.
  std::string first = write("5/_txman.dat", music + "/a.mp3\n"), second = write("6/_txdat.dat", "7\n");
  ran_.clear();
  data_.clear();
  DoHubshell("\"" + first + "\" \"" + second + "\"", "hubshellih.exe");
  EXPECT_TRUE(fs::exists(first) && fs::exists(second)) << "neither was read as a staging file";
  EXPECT_EQ(data_, (std::vector<std::string>{first, second}));
  EXPECT_TRUE(ran_.empty());

  // An empty staging file: nothing to expand, and the expansion log is offered.
  script_->Push(ui::UiAction::Answer(ui::kIdNo));
  DoHubshell("\"" + write("7/_txman.dat", "") + "\"", "hubshellih.exe");
  EXPECT_EQ(Messages().back(), "No files found after path expansions.  Would you like to view the expansion log?");
  EXPECT_TRUE(ran_.empty());
}

TEST_F(SendToTest, ASecondTransferWaitsForTheFirstToEnd) {
  // Another process holds the guard as a running launcher would.
  test::ChildProcess holder([] {
    auto lock = platform::FileLock::Named("STSEM");
    lock.Lock();
    std::printf("held\n");
    std::fflush(stdout);
    ::pause();
    return 0;
  });
  ASSERT_EQ(holder.ReadLine(10000), std::optional<std::string>("held"));
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  DoHubshell("\"/x.mp3\"", "hubshellih.exe");
  EXPECT_EQ(Messages().back(), "Another transfer is already in progress.");
  holder.Kill();
  holder.Wait(10000);
  // Killed: the guard is free again.
  SetSendToCommandLine(std::vector<std::string>{"/bin/other"});
  script_->Push(ui::UiAction::Answer(ui::kIdOk));
  DoHubshell("\"/x.mp3\"", "hubshellih.exe");
  EXPECT_EQ(Messages().back(), "Send To was called with an invalid command-line:\n/bin/other");
}

TEST_F(SendToTest, PasteStagesTheClipboardsFilesWhole) {
  Install();
  std::string longPath = "/music/" + std::string(300, 'x') + ".mp3";
  ASSERT_TRUE(platform::WriteClipboard({{platform::CF_HDROP, platform::BuildDropFiles({"/m/a b.mp3", longPath})}}).ok());
  PasteToDevice(nullptr);
  ASSERT_EQ(spawned_.size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(spawned_[0].first, install_ + "/hubshellih.exe");
  EXPECT_EQ(fs::path(spawned_[0].second).filename(), "_txman.dat");
  EXPECT_EQ(Slurp(spawned_[0].second), "/m/a b.mp3\n" + longPath + "\n") << "paths longer than 260 bytes stay whole";
}

TEST_F(SendToTest, PasteRefusesWhatItCannotUse) {
  Install();
  struct Case {
    const char* what;
    std::vector<platform::StoredFormat> clipboard;
    int segments;
    const char* message;
  } cases[] = {
      {"empty clipboard", {}, 0, "There is nothing in the clipboard that can be pasted to your device."},
      {"no file list", {{1, {'t', 0}}}, 0, "There is nothing in the clipboard that can be pasted to your device."},
      {"damaged file list", {{platform::CF_HDROP, {20, 0, 0}}}, 0, "Paste object is invalid."},
      {"empty file list", {{platform::CF_HDROP, platform::BuildDropFiles({})}}, 0, "Did not find any files to paste."},
      {"segmented player outside a segment", {{platform::CF_HDROP, platform::BuildDropFiles({"/a.mp3"})}}, 1,
       "Please paste files to either the Internal Memory or SmartMedia Card folders."},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(platform::WriteClipboard(c.clipboard).ok());
    device_.segments = c.segments;
    script_->Push(ui::UiAction::Answer(ui::kIdOk));
    PasteToDevice(nullptr);
    EXPECT_TRUE(spawned_.empty()) << c.what;
    ASSERT_FALSE(Messages().empty()) << c.what;
    EXPECT_EQ(Messages().back(), c.message) << c.what;
  }
  // On a segment the segment's id is the destination.
  PidlRecordList records;
  LPCITEMIDLIST segment = records.BuildPidl(FolderSegment, KernelId(2), 0, "Internal Memory", 0, nullptr, "");
  ASSERT_NE(segment, nullptr);
  device_.segments = 1;
  ASSERT_TRUE(platform::WriteClipboard({{platform::CF_HDROP, platform::BuildDropFiles({"/a.mp3"})}}).ok());
  PasteToDevice(segment);
  EXPECT_EQ(spawned_.size(), 1u) << ::testing::PrintToString(Messages());
}

}  // namespace
}  // namespace hub
