// Initialisation and hardening of the KDP request block.
#include "common/kdp_block.h"

#include <cstring>

namespace hub {

KdpBlock::KdpBlock() {
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
  Init();
}

void KdpBlock::Init() {
  for (KernelId* id : {&idA, &idB, &id1, &id2, &id3}) *id = KernelId();
  for (KernelTextField* f : {&text, &s1, &s2, &s3, &errorTitle, &errorText, &noticeText, &driverErrorText}) f->Init();
  track.Init();
  contact.Init();
}

void KdpBlock::TerminateTexts() {
  for (KernelId* id : {&idA, &idB, &id1, &id2, &id3}) id->Terminate();
  for (KernelTextField* f : {&text, &s1, &s2, &s3, &errorTitle, &errorText, &noticeText, &driverErrorText}) f->Terminate();
  track.Terminate();
  contact.Terminate();
  longText[kKdpLongTextSize - 1] = 0;
}

void KdpBlock::SetLongText(std::string_view value) {
  CopyBoundedText(longText, kKdpLongTextSize - 1, value);
  longText[kKdpLongTextSize - 1] = 0;
}

}  // namespace hub
