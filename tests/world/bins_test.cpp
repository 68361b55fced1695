#include <gtest/gtest.h>

#include <vector>

#include "support/WorldFixtures.h"
#include "world/VelAllocator.h"

namespace {

struct Index {
  VelFlockBinCollection c{};
  Index(int32_t bins, int32_t elements) { EXPECT_EQ(initializeVelFlockBinCollection(&c, bins, elements), 0); }
  ~Index() { freeVelFlockBinCollection(&c); }
  std::vector<int32_t> list(int32_t bin) const {
    std::vector<int32_t> nodes;
    for (auto* e = c.bins[bin]; e; e = e->next) nodes.push_back(e->node);
    return nodes;
  }
};

using V = std::vector<int32_t>;

TEST(FlockBins, FilingMovingAndRemovingKeepListOrder) {
  Index ix(3, 10);
  for (int32_t i = 0; i < 10; ++i) addNodeToBin(&ix.c, i, i <= 3 ? 0 : (i <= 6 ? 1 : 2));
  EXPECT_EQ(ix.list(0), (V{0, 1, 2, 3}));
  EXPECT_EQ(ix.list(1), (V{4, 5, 6}));
  EXPECT_EQ(ix.list(2), (V{7, 8, 9}));

  addNodeToBin(&ix.c, 2, 2);
  EXPECT_EQ(ix.list(0), (V{0, 1, 3}));
  EXPECT_EQ(ix.list(2), (V{7, 8, 9, 2}));
  removeNodeFromCurrBin(&ix.c, 8);
  EXPECT_EQ(ix.list(2), (V{7, 9, 2}));
  removeNodeFromCurrBin(&ix.c, 2);
  EXPECT_EQ(ix.list(2), (V{7, 9}));
  EXPECT_EQ(ix.c.elements[2].curr_bin, -1);
  EXPECT_EQ(ix.c.elements[2].next, nullptr);
  addNodeToBin(&ix.c, 7, 1);  // a head removal
  EXPECT_EQ(ix.list(1), (V{4, 5, 6, 7}));
  EXPECT_EQ(ix.list(2), (V{9}));
  addNodeToBin(&ix.c, 9, 0);
  EXPECT_EQ(ix.list(0), (V{0, 1, 3, 9}));
  EXPECT_EQ(ix.c.bins[2], nullptr);

  // Filing into the own bin moves the element to the tail.
  addNodeToBin(&ix.c, 0, 0);
  EXPECT_EQ(ix.list(0), (V{1, 3, 9, 0}));
}

TEST(FlockBins, OutOfRangeNodesAndBinsChangeNothing) {
  Index ix(3, 4);
  addNodeToBin(&ix.c, 1, 1);
  removeNodeFromCurrBin(&ix.c, 2);   // in no bin
  removeNodeFromCurrBin(&ix.c, -1);
  removeNodeFromCurrBin(&ix.c, 4);
  addNodeToBin(&ix.c, -1, 0);
  addNodeToBin(&ix.c, 4, 0);
  addNodeToBin(&ix.c, 0, 3);
  addNodeToBin(&ix.c, 0, -1);
  EXPECT_EQ(ix.list(1), (V{1}));
  EXPECT_EQ(ix.c.bins[0], nullptr);
  EXPECT_EQ(ix.c.bins[2], nullptr);
  EXPECT_EQ(ix.c.elements[0].curr_bin, -1);
}

TEST(FlockBins, NodeIndexClampsToTheOuterCells) {
  EXPECT_EQ(compute_node_index({0, 0, 0}), 0);
  EXPECT_EQ(compute_node_index({1, 1, 1}), 999);
  EXPECT_EQ(compute_node_index({0.05f, 0.55f, 0.95f}), 59);
  EXPECT_EQ(compute_node_index({-3.0f, 0.5f, 7.0f}), 59);
  EXPECT_EQ(compute_node_index({0.1f, 0.2f, 0.3f}), 123);
  EXPECT_EQ(compute_node_index({0.0999999f, 0.999999f, -0.0f}), 90);
}

TEST(FlockBins, ReleaseIsIdempotentAndEmptyIndexAllocatesNothing) {
  VelFlockBinCollection c{};
  ASSERT_EQ(initializeVelFlockBinCollection(&c, 1000, 5), 0);
  freeVelFlockBinCollection(&c);
  EXPECT_EQ(c.bins, nullptr);
  EXPECT_EQ(c.elements, nullptr);
  EXPECT_EQ(c.max_bins, 0);
  EXPECT_EQ(c.max_elements, 0);
  freeVelFlockBinCollection(&c);

  ASSERT_EQ(initializeVelFlockBinCollection(&c, 1000, 0), 0);
  EXPECT_EQ(c.elements, nullptr);
  addNodeToBin(&c, 0, 0);
  freeVelFlockBinCollection(&c);
}

int g_allocations_left = 0;
void* failingAllocate(std::size_t size) { return g_allocations_left-- > 0 ? std::malloc(size) : nullptr; }

TEST(FlockBins, HalfBuiltIndexCanBeReleasedAndIsNeverFiledInto) {
  for (int succeed = 0; succeed < 2; ++succeed) {
    g_allocations_left = succeed;
    setVelAllocator(failingAllocate, nullptr);
    VelFlockBinCollection c{};
    EXPECT_EQ(initializeVelFlockBinCollection(&c, 1000, 10), 1);
    setVelAllocator(nullptr, nullptr);
    EXPECT_EQ(c.max_elements, 0);
    addNodeToBin(&c, 3, 5);
    removeNodeFromCurrBin(&c, 3);
    freeVelFlockBinCollection(&c);  // LeakSanitizer checks that the head array is freed
    EXPECT_EQ(c.bins, nullptr);
  }
}

}  // namespace
