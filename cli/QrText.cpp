#include "QrText.h"

#ifdef KESTRA_HAVE_QRENCODE
#include <qrencode.h>

#include <memory>

std::string QrText(const std::string& text)
{
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code) {
        return {};
    }
    constexpr int kQuiet = 2;
    const int size = code->width;
    // Dark on a light terminal and light on a dark one alike: the modules
    // are drawn as spaces and the light parts as blocks.
    auto dark = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < size && y < size && (code->data[y * size + x] & 1) != 0;
    };
    std::string out;
    for (int y = -kQuiet; y < size + kQuiet; y += 2) {
        for (int x = -kQuiet; x < size + kQuiet; ++x) {
            const bool top = dark(x, y);
            const bool bottom = dark(x, y + 1);
            out += top && bottom ? " " : top ? "\u2584" : bottom ? "\u2580" : "\u2588";
        }
        out += '\n';
    }
    return out;
}
#else
std::string QrText(const std::string&)
{
    return {};
}
#endif
