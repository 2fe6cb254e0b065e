#include "shell/transfer/engine_services.h"

#include "metadata/metadata_fixture.h"
#include "shell/namespace/transfer_services.h"

namespace hub::test {
namespace {

class EngineServicesTest : public MetadataTest {};

TEST_F(EngineServicesTest, NamespaceReachesTheReaders) {
  InstallTransferEngineServices();
  const TransferServices& services = GetTransferServices();
  std::vector<uint8_t> file = Id3Tag(3, Id3Frame(3, "TIT2", Latin1Body("  Title ")));
  Append(file, FrameHeader());
  file.resize(file.size() + 20000, 0);
  std::string path = MakeTempDir("Band") + "/Song.mp3";
  WriteBytes(path, file);
  _AUDIODATA record;
  services.ReadTrackInfoFromFile(path, record);
  EXPECT_EQ(record.bitrate, 128u);
  services.TrimTrackTexts(record);
  EXPECT_EQ(record.title.str(), "Title");
  _AUDIODATA tags;
  EXPECT_NE(services.ReadTrackTags(path, tags), 0);
  EXPECT_EQ(tags.album.str(), "Single");
  _AUDIODATA named;
  services.TagsFromPath("/m/Band - Song.mp3", named);
  EXPECT_EQ(named.artist.str(), "Band");
}

}  // namespace
}  // namespace hub::test
