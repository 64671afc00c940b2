#include "engine/DelayLine.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    line.prepare(2, delay, 2048);
    std::vector<float> outLeft(left.size()), outRight(right.size());
    int at = 0;
    for (int n : lengths)
    {
        std::copy_n(left.begin() + at, n, line.input(0));
        std::copy_n(right.begin() + at, n, line.input(1));
        std::copy_n(line.output(0), n, outLeft.begin() + at);
        std::copy_n(line.output(1), n, outRight.begin() + at);
        line.advance(2, n);
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
    std::fill_n(line.input(0), 10, 1.0f);
    EXPECT_EQ(std::vector<float>(line.output(0), line.output(0) + 10), std::vector<float>(10, 0.0f));
}
