// Shared by the updater tests: firmware images made in memory.
#pragma once

#include "FirmwareImage.h"
#include "Lcmd.h"

#include <cstdint>

namespace updatetest {

// A deterministic image whose pages differ from each other.
inline ByteVector MakeImage(std::uint32_t seed = 1)
{
    ByteVector image(firmware::kImageSize);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : image) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return image;
}

inline std::uint8_t PageXor(const ByteVector& image, int page)
{
    std::uint8_t x = 0;
    for (int i = 0; i < firmware::kPageSize; ++i) {
        x ^= image[static_cast<std::size_t>(page * firmware::kPageSize + i)];
    }
    return x;
}

// Adjusts the page's last byte so that its bytes exclusive-or to `target`.
inline void SetPageXor(ByteVector& image, int page, std::uint8_t target)
{
    const std::size_t last = static_cast<std::size_t>(page * firmware::kPageSize + firmware::kPageSize - 1);
    image[last] ^= static_cast<std::uint8_t>(PageXor(image, page) ^ target);
}

}  // namespace updatetest
