// Any buffer from the line goes through the parsing constructor; whatever it
// holds, parsing must stay inside it, and a framed rebuild must parse back to
// the same fields.
#include "Lcmd.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ByteVector buffer(data, data + size);
    const LCmd cmd(buffer);
    if (cmd.Payload().size() > size) {
        std::abort();
    }
    if (cmd.Payload().size() <= frame::kMaxPayload) {
        const LCmd again(cmd.MakeFrame(frame::kModeFramed));
        if (!(again == cmd)) {
            std::abort();
        }
    }
    (void)IsFramed(data, size);
    return 0;
}
