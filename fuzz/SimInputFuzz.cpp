// Arbitrary bytes from the line into the simulated device: in chunks, with
// pauses, in either firmware or boot-loader mode, answering in one of its
// legal ways. It must never crash, every firmware reply must be one
// well-formed frame, and after a pause nothing may stay half received.
#include "FuzzCheck.h"
#include "SimDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // First byte: bit 0 starts in the boot loader, the rest sets the chunk size.
    const std::uint8_t head = size > 0 ? data[0] : 0;
    const std::size_t chunk = 1 + (head >> 1);
    sim::SimDevice device(sim::DeviceState::Random(head), (head & 1) != 0);
    device.Device().SetSpeech(head & 0x3F, 0);
    device.SetChoices(sim::Choices::Random(head));  // any legal way of answering
    std::int64_t now = 0;
    for (std::size_t i = 1; i < size; i += chunk) {
        const std::size_t n = std::min(chunk, size - i);
        for (const auto& reply : device.Receive(data + i, n, now)) {
            Require(!reply.bytes.empty());
            Require(reply.baud != sim::kFirmwareBaud
                    || (IsFramed(reply.bytes) && reply.bytes.size() == std::size_t{reply.bytes[3]} + frame::kOverhead));
        }
        now += static_cast<std::int64_t>(data[i]);
        if (data[i] == 0xFF) {
            device.Idle(now);
            Require(!device.PartialInput());
        }
    }
    device.Idle(now);
    Require(!device.PartialInput());
    return 0;
}
