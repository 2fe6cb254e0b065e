// The installed transfer and tool services, with the stand-ins that answer
// while an engine is absent from the build.
#include <mutex>

#include "common/settings.h"
#include "common/shell_routines.h"
#include "common/text.h"
#include "platform/ui/ui_types.h"
#include "shell/client/sha1_hex.h"
#include "shell/namespace/tool_services.h"
#include "shell/namespace/transfer_services.h"

namespace hub {
namespace {

void NotInThisBuild(std::string_view service) {
  ShowMessage(std::string(service) + " is not in this build.", platform::ui::kMbIconInformation);
}

// A stand-in that tells the user and answers `result`.
template <class R, class... A>
std::function<R(A...)> Absent(const char* service, R result) {
  return [service, result](A...) {
    NotInThisBuild(service);
    return result;
  };
}
template <class... A>
std::function<void(A...)> Absent(const char* service) {
  return [service](A...) { NotInThisBuild(service); };
}

TransferServices AbsentTransferServices() {
  TransferServices s;
  s.DoHubshell = Absent<std::string_view, std::string_view>("Transfers to the device");
  s.CreateTransferDialog = [] { return std::shared_ptr<void>(); };
  s.ReadTrackInfoFromFile = Absent<std::string_view, _AUDIODATA&>("Reading track information");
  s.TrimTrackTexts = [](_AUDIODATA&) {};
  s.TagsFromPath = [](std::string_view, _AUDIODATA&) {};
  s.ReadTrackTags = Absent<int, std::string_view, _AUDIODATA&>("Reading tags", 0);
  s.PasteToDevice = Absent<LPCITEMIDLIST>("Pasting to the device");
  s.TransferToPc = Absent<LPCITEMIDLIST, const CPidlList&>("Copy to Computer");
  s.StageTransferToPc =
      Absent<LPCITEMIDLIST, const CPidlList&, std::string_view, std::vector<std::string>&>("Copy to Computer");
  s.StageTransferToDevice = Absent<const KernelId&, const std::vector<std::string>&>("Transfers to the device");
  s.StageDropToDevice = Absent<const KernelId&, const std::vector<std::string>&>("Transfers to the device");
  s.SonvertListEditDialog = Absent<const KernelId&>("Editing Sonvert lists");
  return s;
}

// Until the tag-fill dialog is installed: the question is a message box, and
// OK fills the empty fields with the fill text.
int FillTagWithText(platform::ui::WindowHandle, std::string_view path, _AUDIODATA& record, bool ask) {
  using namespace platform::ui;
  if (ask && ShowMessage("This file is missing tag fields.  Fill all fields or skip the file.\n\n" + std::string(path),
                         kMbOkCancel | kMbIconQuestion) != kIdOk)
    return kIdCancel;
  std::string fill = SettingString("JB_Tx_ITagFillWith", "<Unknown>");
  if (fill.empty()) fill = "<Unknown>";
  for (KernelTextField* field : {&record.artist, &record.album, &record.genre}) {
    field->Set(TrimWhitespace(field->Get()));
    if (field->empty()) field->Set(fill);
  }
  return kIdOk;
}

ToolServices AbsentToolServices() {
  using platform::ui::kIdCancel;
  ToolServices s;
  s.ShowOptions = Absent<ShellWindow>("Options");
  s.ShowPipecastOptions = Absent<ShellWindow>("Streaming playback options");
  s.ShowUtilityDialog = Absent<ShellWindow, int>("Database utilities");
  s.ShowRoamdeckDialog = Absent<ShellWindow>("Roamdeck");
  s.CreateSqlGeneratorPage = [] { return std::unique_ptr<platform::ui::PropertyPage>(); };
  s.SimpleSearch = Absent<>("Search");
  s.AdvancedSearch = Absent<>("Advanced search");
  s.SyncOutlookDefaultFolder = Absent<>("Outlook synchronisation");
  s.SyncOutlookChosenFolder = Absent<>("Outlook synchronisation");
  s.RunVelomatchAnalysis = Absent<>("Velomatch analysis");
  s.AutoFillTrackNumbers = Absent<int, ShellWindow, int&, int&>("Track numbering", kIdCancel);
  s.ShowArtistInfo = Absent<ShellWindow, std::string_view>("Artist information");
  s.EditTags = Absent<int, ShellWindow, std::vector<_AUDIODATA>&>("The tag editor", kIdCancel);
  s.EditNote = Absent<int, ShellWindow, std::string&>("The note editor", kIdCancel);
  s.EditContact = Absent<int, ShellWindow, KernelContact&>("The contact editor", kIdCancel);
  s.FillIncompleteTag = FillTagWithText;
  s.EditTagFields = Absent<int, ShellWindow, int, _AUDIODATA&, uint32_t&>("The tag editor", kIdCancel);
  s.ChooseTwoFields = Absent<int, ShellWindow, std::string_view, std::string_view, std::string_view, int&, int&>(
      "Copying and swapping tag fields", kIdCancel);
  s.CreateTransfersAdvancedPage = [] { return std::unique_ptr<platform::ui::PropertyPage>(); };
  return s;
}

std::mutex g_servicesMutex;

TransferServices& Transfer() {
  static TransferServices s = AbsentTransferServices();
  return s;
}
ToolServices& Tools() {
  static ToolServices s = AbsentToolServices();
  return s;
}
std::vector<KernelId>& Results() {
  static std::vector<KernelId> ids;
  return ids;
}

template <class T>
void Take(T& into, const T& from) {
  if (from) into = from;
}

}  // namespace

const TransferServices& GetTransferServices() {
  std::lock_guard lock(g_servicesMutex);
  return Transfer();
}

void InstallTransferServices(const TransferServices& in) {
  std::lock_guard lock(g_servicesMutex);
  TransferServices& s = Transfer();
  Take(s.DoHubshell, in.DoHubshell);
  Take(s.CreateTransferDialog, in.CreateTransferDialog);
  Take(s.ReadTrackInfoFromFile, in.ReadTrackInfoFromFile);
  Take(s.TrimTrackTexts, in.TrimTrackTexts);
  Take(s.TagsFromPath, in.TagsFromPath);
  Take(s.ReadTrackTags, in.ReadTrackTags);
  Take(s.PasteToDevice, in.PasteToDevice);
  Take(s.TransferToPc, in.TransferToPc);
  Take(s.StageTransferToPc, in.StageTransferToPc);
  Take(s.StageTransferToDevice, in.StageTransferToDevice);
  Take(s.StageDropToDevice, in.StageDropToDevice);
  Take(s.SonvertListEditDialog, in.SonvertListEditDialog);
}

std::string LastTransferValueName(std::string_view deviceId) {
  return std::string(kLastTransferValuePrefix) + Sha1HexOfString(deviceId);
}

const ToolServices& GetToolServices() {
  std::lock_guard lock(g_servicesMutex);
  return Tools();
}

void InstallToolServices(const ToolServices& in) {
  std::lock_guard lock(g_servicesMutex);
  ToolServices& s = Tools();
  Take(s.ShowOptions, in.ShowOptions);
  Take(s.ShowPipecastOptions, in.ShowPipecastOptions);
  Take(s.ShowUtilityDialog, in.ShowUtilityDialog);
  Take(s.ShowRoamdeckDialog, in.ShowRoamdeckDialog);
  Take(s.CreateSqlGeneratorPage, in.CreateSqlGeneratorPage);
  Take(s.SimpleSearch, in.SimpleSearch);
  Take(s.AdvancedSearch, in.AdvancedSearch);
  Take(s.SyncOutlookDefaultFolder, in.SyncOutlookDefaultFolder);
  Take(s.SyncOutlookChosenFolder, in.SyncOutlookChosenFolder);
  Take(s.RunVelomatchAnalysis, in.RunVelomatchAnalysis);
  Take(s.AutoFillTrackNumbers, in.AutoFillTrackNumbers);
  Take(s.ShowArtistInfo, in.ShowArtistInfo);
  Take(s.EditTags, in.EditTags);
  Take(s.EditNote, in.EditNote);
  Take(s.EditContact, in.EditContact);
  Take(s.FillIncompleteTag, in.FillIncompleteTag);
  Take(s.EditTagFields, in.EditTagFields);
  Take(s.ChooseTwoFields, in.ChooseTwoFields);
  Take(s.CreateTransfersAdvancedPage, in.CreateTransfersAdvancedPage);
}

std::vector<KernelId> SearchResults() {
  std::lock_guard lock(g_servicesMutex);
  return Results();
}

size_t SearchResultCount() {
  std::lock_guard lock(g_servicesMutex);
  return Results().size();
}

void SetSearchResults(std::vector<KernelId> ids) {
  std::lock_guard lock(g_servicesMutex);
  Results() = std::move(ids);
}

}  // namespace hub
