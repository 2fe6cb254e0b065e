// The request block: initial state, and hardening of a block written by
// another process.
#include "common/kdp_block.h"

#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace hub {
namespace {

TEST(KdpBlockTest, NewBlockHasEmptyFieldsAndCapacityWords) {
  auto block = std::make_unique<KdpBlock>();
  for (const KernelTextField* f : {&block->text, &block->s1, &block->s2, &block->s3, &block->errorTitle,
                                   &block->errorText, &block->noticeText, &block->driverErrorText}) {
    EXPECT_TRUE(f->empty());
    EXPECT_EQ(f->capacity, 256u);
  }
  EXPECT_EQ(block->track.fileType, kFileTypeMp3);
  EXPECT_EQ(block->track.path.capacity, 260u);
  EXPECT_EQ(block->contact.field[26].capacity, 260u);
  EXPECT_EQ(block->id3, KernelId());
  EXPECT_EQ(block->result, 0);
  EXPECT_EQ(block->noticeFlag, 0u);
}

TEST(KdpBlockTest, InitLeavesIntegerFieldsAlone) {
  auto block = std::make_unique<KdpBlock>();
  block->opcode = 4020;
  block->n1 = 7;
  block->extensionTime = 500;
  block->s1.Set("artist");
  block->Init();
  EXPECT_EQ(block->opcode, 4020u);
  EXPECT_EQ(block->n1, 7);
  EXPECT_EQ(block->extensionTime, 500u);
  EXPECT_TRUE(block->s1.empty());
}

// Every text of a hostile block, filled to the brim with no terminator and
// lying capacity words, reads back bounded after TerminateTexts.
TEST(KdpBlockTest, TerminateTextsBoundsEveryTextOfAHostileBlock) {
  auto block = std::make_unique<KdpBlock>();
  std::memset(static_cast<void*>(block.get()), 'x', sizeof(KdpBlock));
  block->TerminateTexts();
  for (const KernelTextField* f : {&block->text, &block->s1, &block->s2, &block->s3, &block->errorTitle,
                                   &block->errorText, &block->noticeText, &block->driverErrorText}) {
    EXPECT_EQ(f->Get().size(), 256u);
    EXPECT_EQ(f->capacity, 256u);
    EXPECT_EQ(std::strlen(f->text), 256u);  // the always-zero bytes stop a C-string reader
  }
  for (const KernelId* id : {&block->idA, &block->idB, &block->id1, &block->id2, &block->id3}) {
    EXPECT_EQ(std::strlen(id->name), kKernelIdNameSize - 1);
  }
  EXPECT_EQ(block->track.artist.Get().size(), 256u);
  EXPECT_EQ(std::strlen(block->track.path.text), 260u);
  EXPECT_EQ(std::strlen(block->contact.field[26].text), 260u);
  EXPECT_EQ(block->LongText().size(), kKdpLongTextSize - 1);
  EXPECT_EQ(std::strlen(block->longText), kKdpLongTextSize - 1);
}

TEST(KdpBlockTest, LongTextIsCutAt4099BytesWithItsTerminator) {
  auto block = std::make_unique<KdpBlock>();
  std::memset(block->longText, 'y', sizeof block->longText);
  block->SetLongText(std::string(5000, 'n'));
  EXPECT_EQ(block->LongText(), std::string(4099, 'n'));
  EXPECT_EQ(block->longText[4099], 0);
  // The contact record right after the field is untouched.
  EXPECT_TRUE(block->contact.field[0].empty());

  block->SetLongText("short note");
  EXPECT_EQ(block->LongText(), "short note");
  EXPECT_EQ(block->longText[11], 0);  // the rest of the old text is gone
}

TEST(KdpBlockTest, LongTextIsCutOnACharacterBoundary) {
  auto block = std::make_unique<KdpBlock>();
  std::string text(4098, 'a');
  text += "\xC3\xA9";  // a two-byte character across the bound
  block->SetLongText(text);
  EXPECT_EQ(block->LongText(), std::string(4098, 'a'));
}

}  // namespace
}  // namespace hub
