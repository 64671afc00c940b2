#include "feedback/MakerHost.h"

#include <array>
#include <cstddef>

namespace orlix
{
namespace
{
constexpr unsigned char scrambleKeyAt(std::size_t index) noexcept
{
    return static_cast<unsigned char>((0x5Bu + index * 0x25u) & 0xFFu);
}

// Evaluated by the compiler only: the plain text never reaches the module.
template <std::size_t N> consteval std::array<unsigned char, N - 1> scramble(const char (&text)[N])
{
    std::array<unsigned char, N - 1> scrambled{};
    for (std::size_t i = 0; i + 1 < N; ++i)
        scrambled[i] = static_cast<unsigned char>(static_cast<unsigned char>(text[i]) ^ scrambleKeyAt(i));
    return scrambled;
}

constexpr auto scrambledMakerHost = scramble("halvaneaudio.com");
} // namespace

juce::String makerHost()
{
    // Read through a volatile view: otherwise the optimiser restores the text
    // at build time and the plain host ends up in the module after all.
    const volatile unsigned char* scrambled = scrambledMakerHost.data();
    std::array<char, scrambledMakerHost.size()> host{};
    for (std::size_t i = 0; i < host.size(); ++i)
        host[i] = static_cast<char>(scrambled[i] ^ scrambleKeyAt(i));
    return juce::String(host.data(), host.size());
}
} // namespace orlix
