#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// The no-allocation tests are only as good as the counter: make sure it sees heap use.
TEST(AllocationCounter, SeesAllocationsOfThisThread)
{
    testsupport::AllocationCounter counter;
    auto v = std::make_unique<std::vector<int>>(100);
    EXPECT_GE(counter.count(), 2);
}
