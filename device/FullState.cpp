#include "FullState.h"

#include "Commands.h"

#include <initializer_list>

std::vector<LCmd> FullStateInquiries()
{
    std::vector<LCmd> out;
    out.reserve(49);
    const auto stereo = {channel::kLine, channel::kSubLeft, channel::kSubRight, channel::kMasterLeft,
                         channel::kMasterRight};
    auto mics = [&](auto&& make) {
        for (int n = 1; n <= 6; ++n) {
            out.push_back(make(channel::Mic(n)));
        }
    };

    out.push_back(CM_MCS_INQUIRY(0x01, 0x00));
    out.push_back(CM_MCS_INQUIRY_DX(0x03));
    out.push_back(CM_MCS_INQUIRY(0x04));
    for (std::uint8_t c : stereo) {
        out.push_back(CM_MCS_INQUIRY(0x02, c));
    }
    mics([](std::uint8_t c) { return CM_MCS_INQUIRY(0x03, c); });
    mics([](std::uint8_t c) { return CM_MCS_INQUIRY(0x05, c); });
    out.push_back(CM_MCS_INQUIRY(0x06, 0x01));
    out.push_back(CM_MCS_INQUIRY(0x06, 0x02));
    for (std::uint8_t c : stereo) {
        out.push_back(CM_MCS_INQUIRY(0x07, c));
    }
    mics([](std::uint8_t c) { return CM_MCS_INQUIRY(0x07, c); });
    out.push_back(CM_MCS_INQUIRY_DX(0x00));
    for (std::uint8_t i = 0; i <= 3; ++i) {
        out.push_back(CM_MCS_INQUIRY_DX(0x01, i));
    }
    mics([](std::uint8_t c) { return CM_MCS_INQUIRY_DX(0x02, c); });
    for (std::uint8_t p = 0x04; p <= 0x08; ++p) {
        out.push_back(CM_MCS_INQUIRY_DX(p));
    }
    return out;
}
