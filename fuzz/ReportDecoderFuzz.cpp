// Any buffer from the line, decoded as a report and applied to the headless
// state: the decoder must never read past the payload, and an event that
// carries values must have had the bytes for them.
#include "DeviceState.h"
#include "FuzzCheck.h"
#include "Reports.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LCmd frame(ByteVector(data, data + size));
    const ReportEvent e = DecodeReport(frame);
    const auto needed = ReportPayloadLength(frame.Sub());
    const bool carries = e.kind != ReportKind::Unknown && e.kind != ReportKind::Short && e.kind != ReportKind::Ack &&
                         e.kind != ReportKind::Nak;
    Require(!carries || (needed && frame.Payload().size() >= *needed));
    Require(e.kind != ReportKind::Gain || StateIndexOfChannel(e.channel) >= 0);
    static DeviceState state;
    state.Apply(e);
    Require(state.switchOn <= 3);
    return 0;
}
