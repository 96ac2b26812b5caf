// Bytes from the line, fed one by one to the reply collector in the receive
// mode the first input byte chooses (framed, raw or an invalid one), with
// mode switches along the way as Send makes them. Every reply must be a
// well-formed cut of the stream and parse without reading outside itself.
#include "FuzzCheck.h"
#include "Lcmd.h"
#include "ReplyCollector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ReplyCollector collector;
    std::uint8_t mode = size > 0 ? data[0] % 3 : 0;
    for (std::size_t i = 1; i < size; ++i) {
        // A byte 0xFF followed by a value switches the mode, as a new submission does.
        if (data[i] == 0xFF && i + 1 < size) {
            mode = data[++i] % 3;
            continue;
        }
        if (!collector.Feed(data[i], mode)) {
            Require(collector.Pending().size() <= frame::kOverhead + 255);  // length 255 + 7 at most
            continue;
        }
        const ByteVector reply = collector.Take();
        if (mode == frame::kModeRaw) {
            // The byte completes the reply, with whatever a framed reply cut
            // short by the switch had left.
            Require(!reply.empty() && reply.back() == data[i]);
        } else {
            Require(reply.size() >= 4 && reply[0] == frame::kDle && reply[1] == frame::kStx
                    && reply.size() == static_cast<std::size_t>(reply[3]) + frame::kOverhead);
        }
        Require(LCmd(reply).Payload().size() <= reply.size());
        Require(collector.Pending().empty());
    }
    return 0;
}
