// The selectors a manager serves, by the product its name selects.
#include "common/kdp_selector.h"

#include <gtest/gtest.h>

#include "common/product_profile.h"

namespace hub {
namespace {

int32_t ProductOf(const char* manager) {
  ProductProfile profile;
  SelectProduct(manager, profile);
  return profile.productNumber;
}

TEST(KdpSelectorTest, AManagerServesTenAndItsOwnLibrariesDeviceNumbers) {
  const struct {
    const char* manager;
    uint32_t selector;
    bool served;
  } cases[] = {
      {"irivmgr", 10, true},  {"irivmgr", 0, false}, {"irivmgr", 7, false},
      // The jukebox plug-ins (0; 1 without the CL driver), NOMAD II, the MuVo builds.
      {"kestmgr", 0, true},   {"kestmgr", 1, true},  {"kestmgr", 3, true},  {"kestmgr", 5, true},
      {"kestmgr", 8, true},   {"kestmgr", 11, true}, {"kestmgr", 10, true},
      {"kestmgr", 7, false},  {"kestmgr", 12, false}, {"kestmgr", 0xFFFFFFFFu, false},
      {"pellmgr", 7, true},   {"pellmgr", 0, false}, {"brammgr", 12, true},
      {"riomgr", 9, true},    {"riomgr", 6, false},  {"riovmgr", 6, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ManagerServesSelector(ProductOf(c.manager), c.selector), c.served) << c.manager << " " << c.selector;
  EXPECT_FALSE(ManagerServesSelector(-1, 0));
  EXPECT_TRUE(ManagerServesSelector(-1, 10));
}

}  // namespace
}  // namespace hub
