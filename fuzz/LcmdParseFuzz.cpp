// Any buffer from the line goes through the parsing constructor; whatever it
// holds, parsing must stay inside it, and a framed rebuild must parse back to
// the same fields.
#include "FuzzCheck.h"
#include "Lcmd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ByteVector buffer(data, data + size);
    const LCmd cmd(buffer);
    Require(cmd.Payload().size() <= size);
    Require(cmd.Payload().size() > frame::kMaxPayload || LCmd(cmd.MakeFrame(frame::kModeFramed)) == cmd);
    (void)IsFramed(data, size);
    return 0;
}
