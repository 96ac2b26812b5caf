// The firmware image the updater writes: 111 pages of 64 bytes, copied to
// the device unchanged. One can be embedded at build time
// (KESTRA_FIRMWARE_IMAGE) and another given for one run (--firmware).
#pragma once

#include "Lcmd.h"

#include <cstddef>
#include <string>

namespace firmware {

inline constexpr int kPages = 111;
inline constexpr int kPageSize = 64;
inline constexpr std::size_t kImageSize = static_cast<std::size_t>(kPages) * kPageSize;

// The image embedded in the build; empty when the build was made without one.
const ByteVector& BuiltIn();

// The image to flash in this run: the one set for the run, else the built-in
// one. Empty: there is none, and no update may start.
const ByteVector& Current();
// Replaces the image for the rest of the run; an empty image means none.
// False (nothing changed) for any size other than kImageSize and not 0.
bool SetForRun(ByteVector image);
// Back to the built-in image.
void ResetForRun();

// Reads an image file. Empty, with a reason in *error, when the file cannot
// be read or does not hold exactly kImageSize bytes.
ByteVector LoadFile(const std::string& path, std::string* error);

}  // namespace firmware
