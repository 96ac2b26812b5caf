#include "FirmwareImage.h"

#include <fstream>
#include <iterator>
#include <optional>

// Generated at configure time from KESTRA_FIRMWARE_IMAGE (size 0 without one).
extern const unsigned char kEmbeddedFirmware[];
extern const std::size_t kEmbeddedFirmwareSize;

namespace firmware {
namespace {
std::optional<ByteVector>& RunImage()
{
    static std::optional<ByteVector> image;
    return image;
}
}  // namespace

const ByteVector& BuiltIn()
{
    static const ByteVector image(kEmbeddedFirmware, kEmbeddedFirmware + kEmbeddedFirmwareSize);
    return image;
}

const ByteVector& Current()
{
    return RunImage() ? *RunImage() : BuiltIn();
}

bool SetForRun(ByteVector image)
{
    if (!image.empty() && image.size() != kImageSize) {
        return false;
    }
    RunImage() = std::move(image);
    return true;
}

void ResetForRun()
{
    RunImage().reset();
}

ByteVector LoadFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error != nullptr) {
            *error = "cannot read the firmware image " + path;
        }
        return {};
    }
    ByteVector bytes;
    // One byte more than an image, so that a longer file shows as such.
    bytes.reserve(kImageSize + 1);
    char c = 0;
    while (bytes.size() <= kImageSize && in.get(c)) {
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    if (bytes.size() != kImageSize) {
        if (error != nullptr) {
            *error = "the firmware image " + path + " must hold exactly " + std::to_string(kImageSize) +
                     " bytes (" + std::to_string(kPages) + " pages of " + std::to_string(kPageSize) + "), not " +
                     (bytes.size() > kImageSize ? std::string("more") : std::to_string(bytes.size()));
        }
        return {};
    }
    return bytes;
}

}  // namespace firmware
