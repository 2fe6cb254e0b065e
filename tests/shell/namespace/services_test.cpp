#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/driver.h"
#include "shell/namespace/playlist_commands.h"
#include "shell/namespace/tool_services.h"
#include "shell/namespace/transfer_services.h"
#include "support/hermetic_env.h"

namespace hub {
namespace {

namespace ui = platform::ui;

TEST(ServicesTest, AnAbsentEngineSaysSoAndAnInstalledOneAnswers) {
  // The entries are the process's: what this test installs goes with it.
  struct RestoreServices {
    TransferServices saved = GetTransferServices();
    ~RestoreServices() { InstallTransferServices(saved); }
  } restore;
  ui::ScopedUiDriver<> script;
  script->Push({ui::UiAction::Answer(ui::kIdOk), ui::UiAction::Answer(ui::kIdOk)});

  _AUDIODATA record;
  EXPECT_EQ(GetTransferServices().ReadTrackTags("a.mp3", record), 0);
  int start = 5, step = 1;
  EXPECT_EQ(GetToolServices().AutoFillTrackNumbers(0, start, step), ui::kIdCancel);
  ASSERT_EQ(script->Messages().size(), 2u);
  EXPECT_EQ(script->Messages()[0].text, "Reading tags is not in this build.");
  EXPECT_EQ(script->Messages()[1].text, "Track numbering is not in this build.");
  EXPECT_EQ(SonvertListPrefix(), "SL: ") << "the one prefix, whoever edits the lists";

  // Installing one entry leaves the others as they were.
  TransferServices mine;
  mine.ReadTrackTags = [](std::string_view path, _AUDIODATA& r) {
    r.title.Set(path);
    return 1;
  };
  InstallTransferServices(mine);
  EXPECT_EQ(GetTransferServices().ReadTrackTags("b.ogg", record), 1);
  EXPECT_EQ(record.title.Get(), "b.ogg");
  EXPECT_TRUE(GetTransferServices().TagsFromPath);
  EXPECT_EQ(script->Messages().size(), 2u);

  EXPECT_EQ(LastTransferValueName("device").substr(0, 19), "Vad_Tx_LastTransfer");
  EXPECT_EQ(LastTransferValueName("device").size(), 19u + 8);
  SetSearchResults({KernelId(4), KernelId(2)});
  EXPECT_EQ(SearchResultCount(), 2u);
  EXPECT_EQ(SearchResults()[1].key[0], 2u);
}

}  // namespace
}  // namespace hub
