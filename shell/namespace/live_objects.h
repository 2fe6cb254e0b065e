// The library's live-object count: every COM object of the library and the
// application object raise it while they live; DllCanUnloadNow reads it.
#pragma once

#include <cstdint>

namespace hub {

void LiveObjectAdded();
void LiveObjectRemoved();
int32_t LiveObjectCount();

// Counts its owner for as long as it lives.
struct LiveObject {
  LiveObject() { LiveObjectAdded(); }
  ~LiveObject() { LiveObjectRemoved(); }
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;
};

}  // namespace hub
