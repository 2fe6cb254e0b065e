// Contact synchronisation from the address book.
#include "shell/options/outlook_sync.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <vector>

#include "common/explorer_refresh.h"
#include "common/printf.h"
#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "common/ui/progress_dialogs.h"
#include "platform/kernel/clock.h"
#include "platform/ui/prompts.h"
#include "shell/namespace/report_files.h"
#include "shell/namespace/the_client.h"

namespace hub {

using namespace platform::ui;
using platform::ContactProperty;

namespace {

constexpr const char* kQuestion =
    "Synchronizing will clear all contacts entries on your device and\nrepopulate it with the current contents of your "
    "Microsoft Outlook\nContacts folder.  Do you wish to proceed?";
constexpr const char* kFieldQuestion =
    "One of your contacts could not be read from Outlook.\nWould you like to continue trying to synchronize?";
constexpr const char* kTerminated = "Microsoft Outlook terminated the connection before synchronization could complete.";
constexpr size_t kContactFieldBytes = 260;
constexpr size_t kNameBytes = 255;

// The contact record's field for each property, in the order they are read.
constexpr int kFieldOf[platform::kContactPropertyCount] = {0,  1,  2,  4,  3,  5,  7,  8,  9,  10, 11, 12,
                                                           14, 15, 16, 17, 18, 20, 19, 21, 23, 22, 24, 25};

// The run was abandoned: the one handler says so.
struct Abandon {};
// A step failed with its own message, already shown and logged.
struct Quit {};

struct PendingContact {
  std::string name;
  KernelContact record;
};

class ContactSync {
 public:
  ContactSync(int flag, const ContactSyncEnvironment& env) : flag_(flag), env_(env) {}

  void Run() {
    if (ShowMessage(kQuestion, kMbYesNo | kMbIconQuestion) != kIdYes) return;
    log_.Open();
    Log("User confirmed sync, existing contacts on-board music device will be deleted.\n");
    Log("Searching for existing contacts...");
    try {
      CollectPlayerContacts();
      progress_.Begin("Synchronizing with Outlook...", static_cast<int>(existing_.size()));
      std::vector<PendingContact> contacts = ReadSource();
      ReplacePlayerContacts(contacts);
      Log(Printf("\n%d items created on device.", created_));
      ns_->Logoff();
      Log("Logged off from Outlook.");
      Log("Synchronization complete.");
    } catch (const Quit&) {
    } catch (const Abandon&) {
      ShowMessage(kTerminated, kMbIconInformation);
    } catch (const std::exception&) {
      ShowMessage(kTerminated, kMbIconInformation);
    }
    Finish();
  }

 private:
  void Log(std::string_view text) { log_.WriteString(text); }
  // Shown in the window, a step of the bar, and logged (with an empty line after it when asked).
  void Status(std::string_view text, bool blankLine = false) {
    progress_.SetStatus(text);
    progress_.Step();
    Log(blankLine ? std::string(text) + "\n" : std::string(text));
  }
  [[noreturn]] void Fail(const char* text) {
    ShowMessage(text, kMbIconInformation);
    Log(text);
    Log("Quitting.");
    throw Quit{};
  }

  void CollectPlayerContacts() {
    KernelDevice& d = TheClient();
    d.GetContactsRoot(root_);
    KernelId child;
    if (d.GetFirstContactChild(root_, child)) {
      do existing_.push_back(child);
      while (d.GetNextContactChild(root_, child));
    }
    Log(Printf("%d contacts found on device.", static_cast<int>(existing_.size())));
  }

  std::vector<PendingContact> ReadSource() {
    Status("Initializing connection to Outlook...", true);
    std::unique_ptr<platform::ContactApplication> app = env_.openStore ? env_.openStore() : nullptr;
    if (!app) Fail("Could not initialize connection to Outlook.");
    ns_ = app->GetNamespace("MAPI");
    Status("Reading Outlook folder list.");
    if (!ns_) Fail("Could not read Outlook folder list.");
    Status("Logging onto Outlook.");
    ns_->Logon();
    Status("Logon complete.");
    std::unique_ptr<platform::ContactFolder> folder;
    if (flag_ == 1) {
      Status("Selecting Outlook folder.");
      folder = ns_->PickFolder();
    } else {
      Status("Opening default Outlook Contacts folder.");
      folder = ns_->GetDefaultContactsFolder();
    }
    if (!folder) Fail("Could not open selected Outlook Contacts folder.");
    Log("Folder name: " + folder->Name());
    Status("Accessing Outlook Contacts items...", true);
    std::unique_ptr<platform::ContactItems> items = folder->Items();
    if (!items) Fail("Could not access Outlook Contacts items.");
    Status("Querying Outlook for count of Contacts items...");
    int n = items->Count();
    uint32_t d = (env_.tick ? env_.tick() : 0) % 10;
    Status(Printf("%d items reported by Outlook.  Code %d%X%d.", n, static_cast<int>(d + 1),
                  static_cast<unsigned>((d + 628) * static_cast<uint32_t>(n)), static_cast<int>(d * d)));
    SetBar(n);
    Status("Beginning synchronization.", true);

    std::vector<PendingContact> contacts;
    for (int i = 1; i <= n; ++i) {
      std::unique_ptr<platform::ContactItem> item;
      try {
        item = items->Item(i);
      } catch (const platform::ContactStoreError&) {
      }
      if (!item) {
        Log("Non-Contact item, skipping.");
        continue;
      }
      try {
        PendingContact c;
        std::string fullName = item->FullName();
        Log("Found contact: " + fullName);
        progress_.SetStatus(fullName);
        progress_.Step();
        c.record.Clear();
        for (int p = 0; p < platform::kContactPropertyCount; ++p)
          c.record.field[kFieldOf[p]].Set(Utf8Cut(item->Property(static_cast<ContactProperty>(p)), kContactFieldBytes));
        c.name = PlayerName(fullName, c.record);
        if (c.name.empty()) {
          Log("This contact has no name, skipping.");
          continue;
        }
        contacts.push_back(std::move(c));
      } catch (const std::exception&) {
        FieldFailure();
      }
    }
    return contacts;
  }

  // A contact that could not be read: go on only when the user says so.
  void FieldFailure() {
    Log("Could not read one of this contact's fields.");
    if (ShowMessage(kFieldQuestion, kMbYesNo | kMbIconQuestion) == kIdYes) return;
    Log("User aborted.");
    throw Abandon{};
  }

  // The file name on the player: the full name, else first and last name, else the organisation.
  static std::string PlayerName(const std::string& fullName, const KernelContact& r) {
    std::string name = ContactFileName(fullName);
    if (name.empty()) {
      std::string first = TrimWhitespace(r.field[0].Get()), last = TrimWhitespace(r.field[1].Get());
      name = ContactFileName(first + (first.empty() || last.empty() ? "" : " ") + last);
    }
    if (name.empty()) name = ContactFileName(r.field[3].Get());
    return Utf8Cut(name, kNameBytes);
  }

  void SetBar(int count) {
    if (Progress* bar = progress_.Bar()) {
      bar->SetRange(0, count);
      bar->SetPos(0);
    }
  }

  void ReplacePlayerContacts(std::vector<PendingContact>& contacts) {
    KernelDevice& d = TheClient();
    SetBar(static_cast<int>(existing_.size()));
    touched_ = true;
    Status("Deleting existing contacts...");
    int deleted = 0;
    for (const KernelId& id : existing_) {
      // A sub-folder is not removed (nor what it holds), so it is not counted.
      if (d.DeleteContact(id) == 0) ++deleted;
      progress_.Step();
    }
    Log(Printf("%d contacts deleted from device.", deleted));
    RefreshExplorerAfterChange();
    for (PendingContact& c : contacts) {
      try {
        KernelId made;
        int r = d.CreateContact(c.name, c.record, root_, made);
        if (r != 0) Log(Printf("Could not create contact on device, error %d.", r));
        else ++created_;
      } catch (const std::exception&) {
        FieldFailure();
      }
    }
  }

  void Finish() {
    // Whatever ended the run, open views show what the player now holds.
    if (touched_) RefreshExplorerAfterChange();
    progress_.End();
  }

  int flag_;
  const ContactSyncEnvironment& env_;
  OutlookSyncLogFile log_;
  CDeleteDialog progress_;
  KernelId root_;
  std::vector<KernelId> existing_;
  std::unique_ptr<platform::ContactNameSpace> ns_;
  int created_ = 0;
  bool touched_ = false;
};

}  // namespace

std::string ContactFileName(std::string_view fullName) {
  std::string name = TrimWhitespace(fullName);
  for (char& c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
        c == '>' || c == '|')
      c = '_';
  }
  if (name == "." || name == "..") return {};
  return name;
}

ContactSyncEnvironment DefaultContactSyncEnvironment() {
  ContactSyncEnvironment env;
  env.openStore = []() -> std::unique_ptr<platform::ContactApplication> {
    const char* dir = std::getenv("HUB_CONTACTS_DIR");
    std::string root = dir && *dir ? dir : SettingString("ContactsFolder", "", true);
    return platform::OpenVCardFolderStore(root, [](const std::string& start) {
      FolderRequest request;
      request.owner = GetMessageOwner();
      request.title = "Select a contacts folder:";
      request.initialFolder = start;
      return BrowseForFolder(request);
    });
  };
  env.tick = [] { return static_cast<uint32_t>(platform::TickCount()); };
  return env;
}

void SyncOutlookContacts(int flag) { SyncOutlookContacts(flag, DefaultContactSyncEnvironment()); }

void SyncOutlookContacts(int flag, const ContactSyncEnvironment& environment) {
  ContactSync(flag, environment).Run();
}

}  // namespace hub
