// Any buffer from the line, decoded as a report and applied to the headless
// state: the decoder must never read past the payload, and an event that
// carries values must have had the bytes for them.
#include "DeviceState.h"
#include "Reports.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LCmd frame(ByteVector(data, data + size));
    const ReportEvent e = DecodeReport(frame);
    const auto needed = ReportPayloadLength(frame.Sub());
    const bool carries = e.kind != ReportKind::Unknown && e.kind != ReportKind::Short && e.kind != ReportKind::Ack &&
                         e.kind != ReportKind::Nak;
    if (carries && (!needed || frame.Payload().size() < *needed)) {
        std::abort();
    }
    if (e.kind == ReportKind::Gain && StateIndexOfChannel(e.channel) < 0) {
        std::abort();
    }
    static DeviceState state;
    state.Apply(e);
    if (state.switchOn > 3) {
        std::abort();
    }
    return 0;
}
