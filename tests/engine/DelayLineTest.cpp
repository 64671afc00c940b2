#include "engine/DelayLine.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace orlix;

TEST(DelayLine, BlocksOfAnyLengthComeOutExactlyDelayed)
{
    // Block lengths below, at and above the delay, in a shuffled order, on two channels
    // that must not share state.
    constexpr int delay = 44;
    const std::vector<int> lengths{1, 43, 44, 45, 512, 3, 88, 1000, 44, 7, 2048, 0, 100};
    int total = 0;
    for (int n : lengths)
        total += n;
    std::vector<float> left((size_t)total), right((size_t)total);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int i = 0; i < total; ++i)
    {
        left[(size_t)i] = value(random);
        right[(size_t)i] = value(random);
    }

    DelayLine line;
    line.prepare(2, delay);
    std::vector<float> outLeft(left), outRight(right);
    int at = 0;
    for (int n : lengths)
    {
        float* channels[2] = {outLeft.data() + at, outRight.data() + at};
        line.process(channels, 2, n);
        at += n;
    }
    for (int i = 0; i < total; ++i)
    {
        const float expectedLeft = i < delay ? 0.0f : left[(size_t)(i - delay)];
        const float expectedRight = i < delay ? 0.0f : right[(size_t)(i - delay)];
        ASSERT_EQ(outLeft[(size_t)i], expectedLeft) << i;
        ASSERT_EQ(outRight[(size_t)i], expectedRight) << i;
    }

    // Cleared, it starts again from silence.
    line.clear();
    std::vector<float> block(10, 1.0f);
    float* channels[1] = {block.data()};
    line.process(channels, 1, 10);
    EXPECT_EQ(block, std::vector<float>(10, 0.0f));
}
