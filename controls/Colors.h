// Colours as the device-facing code stores them: 24 bits with blue in the high
// byte (0x00BBGGRR). Handlers compare and assign these values; only painting
// converts them to QColor.
#pragma once

#include <QColor>

#include <cstdint>

using TColor = std::uint32_t;

inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
// Not a colour but "the palette's button face", resolved when painting.
inline constexpr TColor clBtnFace = 0x8000000F;

inline bool IsSystemColor(TColor c) { return (c & 0xFF000000u) != 0; }

// The RGB value of a stored colour; system colours resolve to `face`.
inline QColor ToQColor(TColor c, const QColor& face = QColor())
{
    if (IsSystemColor(c)) {
        return face;
    }
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}
