// The open-addressing indexes agree with the standard containers through
// random adds and removals, including keys chosen to collide.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "manager/shoebox/flat_index.h"

namespace hub {
namespace {

TEST(FlatIndexTest, IdMapMatchesAStdMapThroughAddsAndRemovals) {
  std::mt19937 rng(11);
  FlatIdMap<uint32_t> flat;
  std::map<uint32_t, uint32_t> oracle;
  for (int step = 0; step < 200000; ++step) {
    // Small key range so removals hit, and multiples of 1024 to crowd probe runs.
    uint32_t id = rng() % 4 == 0 ? (rng() % 64) * 1024 : rng() % 3000;
    if (rng() % 3 == 0) {
      flat.Erase(id);
      oracle.erase(id);
    } else if (!oracle.count(id)) {
      flat.Add(id, step);
      oracle[id] = step;
    }
    if (step % 997 == 0) {
      ASSERT_EQ(flat.size(), oracle.size());
      for (uint32_t probe = 0; probe < 3000; probe += 7) {
        const uint32_t* v = flat.Find(probe);
        auto it = oracle.find(probe);
        ASSERT_EQ(v != nullptr, it != oracle.end()) << probe;
        if (v) {
          ASSERT_EQ(*v, it->second);
        }
      }
    }
  }
  for (const auto& [id, value] : oracle) ASSERT_EQ(*flat.Find(id), value);
}

TEST(FlatIndexTest, HashToIdsKeepsEveryIdUnderAKey) {
  std::mt19937 rng(5);
  FlatHashToIds flat;
  std::multiset<std::pair<uint64_t, uint32_t>> oracle;
  for (int step = 0; step < 100000; ++step) {
    uint64_t hash = rng() % 50;  // many ids per key
    uint32_t id = rng() % 40;
    if (rng() % 2 == 0 && oracle.count({hash, id})) {
      flat.Erase(hash, id);
      oracle.erase(oracle.find({hash, id}));
    } else {
      flat.Add(hash, id);
      oracle.insert({hash, id});
    }
    if (step % 501 == 0) {
      ASSERT_EQ(flat.size(), oracle.size());
      for (uint64_t h = 0; h < 50; ++h) {
        std::multiset<uint32_t> got, want;
        flat.Any(h, [&](uint32_t found) {
          got.insert(found);
          return false;
        });
        for (auto it = oracle.lower_bound({h, 0}); it != oracle.end() && it->first == h; ++it) want.insert(it->second);
        ASSERT_EQ(got, want) << "hash " << h;
      }
    }
  }
}

}  // namespace
}  // namespace hub
