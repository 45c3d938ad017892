#pragma once
// Building a tray icon from a picture, with or without one transparent colour.
#include <QIcon>
#include <QImage>
#include <cstdint>
#include <optional>

namespace zorvel {

// An icon as a colour image and a mask of the same kind the desktop uses: a mask bit of
// 1 is transparent, and the colour image is black there.
struct BuiltIcon {
    QImage colour;
    QImage mask; // QImage::Format_Mono; 1 = transparent
};

// Colours are 0x00BBGGRR; a negative value means "no transparent colour".
using ColourRef = std::int32_t;

// The whole picture, opaque, at its own size; nothing for a picture that cannot be read.
std::optional<BuiltIcon> BitmapToIcon(const QImage& bitmap);
// The picture with `colour` transparent in its top-left 32 x 32 square. Blackens those
// pixels in `bitmap` itself. Nothing when the picture cannot be read.
std::optional<BuiltIcon> BitmapToMaskedIcon(QImage& bitmap, ColourRef colour);
// The 32 x 32 mask of the pixels equal to `colour` (red, green and blue compared).
QImage CreateColorMask(const QImage& bitmap, ColourRef colour);

// The icon as Qt shows it: alpha 0 where the mask is 1.
QIcon ToQIcon(const BuiltIcon& icon);

} // namespace zorvel
