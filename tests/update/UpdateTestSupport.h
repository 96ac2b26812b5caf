// Shared by the updater tests: firmware images made in memory.
#pragma once

#include "FirmwareImage.h"
#include "Lcmd.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <random>

namespace updatetest {

// A deterministic image whose pages differ from each other.
inline ByteVector MakeImage(std::uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    ByteVector image(firmware::kImageSize);
    std::generate(image.begin(), image.end(), [&rng] { return static_cast<std::uint8_t>(rng()); });
    return image;
}

inline std::uint8_t PageXor(const ByteVector& image, int page)
{
    const auto first = image.begin() + page * firmware::kPageSize;
    return std::accumulate(first, first + firmware::kPageSize, std::uint8_t{0}, std::bit_xor<>());
}

// Adjusts the page's last byte so that its bytes exclusive-or to `target`.
inline void SetPageXor(ByteVector& image, int page, std::uint8_t target)
{
    const std::size_t last = static_cast<std::size_t>(page * firmware::kPageSize + firmware::kPageSize - 1);
    image[last] ^= static_cast<std::uint8_t>(PageXor(image, page) ^ target);
}

}  // namespace updatetest
