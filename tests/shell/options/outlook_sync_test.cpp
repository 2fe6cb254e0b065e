// Contact synchronisation from a vCard folder: what reaches the player, the
// log, and the ways out that must leave the player's contacts untouched.
#include "shell/options/outlook_sync.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/product_profile.h"
#include "platform/ui/driver.h"
#include "refresh_watch.h"
#include "shell/client/kernel_device_client_exception.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/the_client.h"
#include "support/hermetic_env.h"
#include "testdevice/null_device.h"

namespace hub {
namespace {

namespace ui = platform::ui;
using ui::UiAction;

// The player's contacts: a root with entries by name; "Sub" is a folder,
// which DeleteContact cannot remove. A second contact of one name is refused (7).
class ContactsDevice : public test::NullDevice {
 public:
  ContactsDevice() {
    contacts["Old"].field[0].Set("Old");
    contacts["Sub"];
  }
  int SupportsContacts() override { return 1; }
  int GetContactsRoot(KernelId& root) override {
    root = KernelId(100u);
    return 1;
  }
  int GetFirstContactChild(const KernelId&, KernelId& child) override {
    snapshot_.clear();
    for (const auto& [name, record] : contacts) snapshot_.push_back(name);
    cursor_ = 0;
    return GetNextContactChild(KernelId(), child) ? static_cast<int>(snapshot_.size()) : 0;
  }
  int GetNextContactChild(const KernelId&, KernelId& child) override {
    if (cursor_ >= snapshot_.size()) return 0;
    child = KernelId(cursor_ == 0 ? 1u : 2u);
    child.SetName(snapshot_[cursor_++]);
    return 1;
  }
  int DeleteContact(const KernelId& id) override {
    ++deleteCalls;
    if (failDelete) throw KernelDeviceClientException(0x80004005, "DeleteContact", "gone");
    if (id.Name() == "Sub") return 2;
    return contacts.erase(std::string(id.Name())) ? 0 : 2;
  }
  int CreateContact(std::string_view name, const KernelContact& contact, const KernelId&, KernelId&) override {
    if (contacts.count(std::string(name))) return 7;
    contacts[std::string(name)] = contact;
    return 0;
  }

  std::map<std::string, KernelContact> contacts;
  int deleteCalls = 0;
  bool failDelete = false;

 private:
  std::vector<std::string> snapshot_;
  size_t cursor_ = 0;
};

std::string Bytes(const std::map<std::string, KernelContact>& m) {
  std::string out;
  for (const auto& [name, c] : m) {
    out += name + "|";
    out.append(reinterpret_cast<const char*>(&c), sizeof c);
  }
  return out;
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class OutlookSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("irivmgr", TheProductProfile());
    test::InstallProductKey(TheProductProfile().productRegistryKey);
    BindClient(&device_);
    folder_ = test::MakeTempDir("contacts");
    std::string d = folder_ + "/";
    Write(d + "a_v21.vcf",
          "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1:M\xfcller;J\xfcrgen\r\n"
          "FN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:J=C3=BCrgen M=C3=BC=\r\nller\r\n"
          "TEL;WORK;VOICE:+49 1\r\nNOTE:ignored\r\n  folded\r\nEND:VCARD\r\n");
    Write(d + "b_v30.vcf",
          "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\\, Lee\nN:Lee;Ann\nORG:Acme\\; Sons\nEND:VCARD\n"
          "BEGIN:VCARD\nVERSION:3.0\nKIND:group\nFN:Friends\nEND:VCARD\n");
    Write(d + "c_v40.vcf", "BEGIN:VCARD\nVERSION:4.0\nFN:Bo\nTEL;VALUE=uri;TYPE=cell:tel:+1-555-0101\nEND:VCARD\n");
    Write(d + "d_notes.txt", "not a card\n");
    Write(d + "e_dupes.vcf", "BEGIN:VCARD\nFN:Sam\nEMAIL:one@x\nEND:VCARD\nBEGIN:VCARD\nFN:Sam\nEMAIL:two@x\nEND:VCARD\n");
    Write(d + "f_long.vcf", "BEGIN:VCARD\nFN:Long\nTITLE:" + std::string(259, 'a') + "\xc3\xa9" + std::string(39, 'b') +
                                "\nEND:VCARD\n");
    Write(d + "g_slash.vcf", "BEGIN:VCARD\nFN:A/B\nEND:VCARD\n");
    std::filesystem::create_directory(d + "sub");
    Write(d + "sub/h.vcf", "BEGIN:VCARD\nFN:Deeper\nEND:VCARD\n");
    env_.openStore = [this] { return platform::OpenVCardFolderStore(folder_, nullptr); };
    env_.tick = [] { return 1234u; };
  }
  void TearDown() override { BindClient(nullptr); }

  std::vector<std::string> LogLines() {
    std::ifstream in(GetOutlookSyncLogPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    if (!lines.empty()) lines.erase(lines.begin());  // the time line
    return lines;
  }

  ContactsDevice device_;
  std::string folder_;
  ContactSyncEnvironment env_;
};

TEST_F(OutlookSyncTest, TheFolderReplacesThePlayersContactsWithTheLogInOrder) {
  test::RefreshWatch watch;
  ui::ScopedUiDriver<> script;
  script->Push(UiAction::Answer(ui::kIdYes));
  SyncOutlookContacts(0, env_);
  EXPECT_EQ(script->Pending(), 0u);
  ASSERT_EQ(script->Messages().size(), 1u) << "only the question";

  std::vector<std::string> expected = {
      "User confirmed sync, existing contacts on-board music device will be deleted.",
      "",
      "Searching for existing contacts...",
      "2 contacts found on device.",
      "Initializing connection to Outlook...",
      "",
      "Reading Outlook folder list.",
      "Logging onto Outlook.",
      "Logon complete.",
      "Opening default Outlook Contacts folder.",
      "Folder name: " + std::filesystem::path(folder_).filename().string(),
      "Accessing Outlook Contacts items...",
      "",
      "Querying Outlook for count of Contacts items...",
      "9 items reported by Outlook.  Code 5163816.",
      "Beginning synchronization.",
      "",
      "Found contact: J\xc3\xbcrgen M\xc3\xbcller",
      "Found contact: Ann, Lee",
      "Non-Contact item, skipping.",
      "Found contact: Bo",
      "Non-Contact item, skipping.",
      "Found contact: Sam",
      "Found contact: Sam",
      "Found contact: Long",
      "Found contact: A/B",
      "Deleting existing contacts...",
      "1 contacts deleted from device.",
      "Could not create contact on device, error 7.",
      "",
      "6 items created on device.",
      "Logged off from Outlook.",
      "Synchronization complete.",
  };
  EXPECT_EQ(LogLines(), expected);

  // What the player holds now: the sub-folder stays, "Old" is gone.
  std::vector<std::string> names;
  for (const auto& [name, c] : device_.contacts) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"A_B", "Ann, Lee", "Bo", "J\xc3\xbcrgen M\xc3\xbcller", "Long", "Sam", "Sub"}));
  const KernelContact& j = device_.contacts["J\xc3\xbcrgen M\xc3\xbcller"];
  EXPECT_EQ(j.field[0].Get(), "J\xc3\xbcrgen");
  EXPECT_EQ(j.field[1].Get(), "M\xc3\xbcller");
  EXPECT_EQ(j.field[19].Get(), "+49 1");
  EXPECT_TRUE(j.field[26].empty()) << "the note stays empty";
  EXPECT_EQ(device_.contacts["Ann, Lee"].field[3].Get(), "Acme; Sons");
  EXPECT_EQ(device_.contacts["Bo"].field[21].Get(), "+1-555-0101");
  EXPECT_EQ(device_.contacts["Sam"].field[25].Get(), "one@x") << "the first one stays";
  EXPECT_EQ(device_.contacts["Long"].field[4].Get(), std::string(259, 'a')) << "cut before the split character";

  // Skips take no step: after "Beginning" and seven contacts the bar stands at 8 of 9.
  std::string lastReadStep;
  for (const std::string& line : script->Transcript())
    if (line.find(" of 0..9") != std::string::npos) lastReadStep = line;
  EXPECT_NE(lastReadStep.find(": 8 of 0..9"), std::string::npos) << lastReadStep;
  EXPECT_GE(watch.Count(), 1);
}

TEST_F(OutlookSyncTest, EveryWayOutBeforeTheSourceIsReadLeavesThePlayerAlone) {
  std::string before = Bytes(device_.contacts);
  struct Case {
    const char* name;
    int flag;
    std::vector<UiAction> answers;
    std::function<void(ContactSyncEnvironment&)> arrange;
    const char* message;  // the last message shown; nullptr: only the question
    const char* lastLog;  // nullptr: no log written
  };
  std::vector<Case> cases = {
      {"No at the question", 0, {UiAction::Answer(ui::kIdNo)}, nullptr, nullptr, nullptr},
      {"no store", 0, {UiAction::Answer(ui::kIdYes), UiAction::Answer(ui::kIdOk)},
       [](ContactSyncEnvironment& e) { e.openStore = [] { return std::unique_ptr<platform::ContactApplication>(); }; },
       "Could not initialize connection to Outlook.", "Quitting."},
      {"cancelled picker", 1, {UiAction::Answer(ui::kIdYes), UiAction::PickFolder(""), UiAction::Answer(ui::kIdOk)},
       [this](ContactSyncEnvironment& e) {
         e.openStore = [this] {
           return platform::OpenVCardFolderStore(folder_, [](const std::string& start) {
             ui::FolderRequest r;
             r.initialFolder = start;
             return ui::BrowseForFolder(r);
           });
         };
       },
       "Could not open selected Outlook Contacts folder.", "Quitting."},
      {"unreadable card answered No", 0,
       {UiAction::Answer(ui::kIdYes), UiAction::Answer(ui::kIdNo), UiAction::Answer(ui::kIdOk)},
       [this](ContactSyncEnvironment&) { Write(folder_ + "/c_v40.vcf", "BEGIN:VCARD\nFN;CHARSET=X-NOPE:x\nEND:VCARD\n"); },
       "Microsoft Outlook terminated the connection before synchronization could complete.", "User aborted."},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(GetOutlookSyncLogPath());
    ContactSyncEnvironment env = env_;
    if (c.arrange) c.arrange(env);
    test::RefreshWatch watch;
    ui::ScopedUiDriver<> script;
    for (const UiAction& a : c.answers) script->Push(a);
    SyncOutlookContacts(c.flag, env);
    EXPECT_EQ(script->Pending(), 0u);
    EXPECT_EQ(Bytes(device_.contacts), before);
    EXPECT_EQ(device_.deleteCalls, 0);
    EXPECT_EQ(watch.Count(), 0);
    if (c.message) {
      EXPECT_EQ(script->Messages().back().text, c.message);
    }
    if (!c.lastLog) {
      EXPECT_FALSE(std::filesystem::exists(GetOutlookSyncLogPath()));
    } else {
      ASSERT_FALSE(LogLines().empty());
      EXPECT_EQ(LogLines().back(), c.lastLog);
    }
  }
}

TEST_F(OutlookSyncTest, AnUnreadableCardAnsweredYesIsSkippedAndAFailedDeleteStillRefreshes) {
  Write(folder_ + "/c_v40.vcf", "BEGIN:VCARD\nFN;CHARSET=X-NOPE:x\nEND:VCARD\n");
  {
    ui::ScopedUiDriver<> script;
    script->Push({UiAction::Answer(ui::kIdYes), UiAction::Answer(ui::kIdYes)});
    SyncOutlookContacts(0, env_);
    EXPECT_EQ(script->Messages()[1].text,
              "One of your contacts could not be read from Outlook.\nWould you like to continue trying to synchronize?");
    EXPECT_EQ(device_.contacts.count("Bo"), 0u);
    EXPECT_EQ(device_.contacts.count("A_B"), 1u);
  }
  device_.failDelete = true;
  test::RefreshWatch watch;
  ui::ScopedUiDriver<> script;
  script->Push({UiAction::Answer(ui::kIdYes), UiAction::Answer(ui::kIdYes), UiAction::Answer(ui::kIdOk)});
  SyncOutlookContacts(0, env_);
  EXPECT_EQ(script->Messages().back().text,
            "Microsoft Outlook terminated the connection before synchronization could complete.");
  EXPECT_GE(watch.Count(), 1) << "deletions began, so the views are told";
}

TEST(ContactFileNameTest, OneSafeComponent) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"A/B", "A_B"}, {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"}, {"  Ann  ", "Ann"}, {"..", ""}, {"", ""},
               {"x\ty", "x_y"}};
  for (const auto& c : cases) EXPECT_EQ(ContactFileName(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace hub
