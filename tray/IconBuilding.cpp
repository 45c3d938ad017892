#include "IconBuilding.h"

#include <QPixmap>
#include <algorithm>

namespace zorvel {

namespace {

constexpr int maskSide = 32; // the transparent path treats every picture as a 32 x 32 icon

QRgb ToRgb(ColourRef colour)
{
    return qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

bool MaskBit(const QImage& mask, int x, int y)
{
    return x < mask.width() && y < mask.height() && mask.pixelIndex(x, y) == 1;
}

QImage ClearMask(QSize size)
{
    QImage mask(size, QImage::Format_Mono);
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mask.fill(0);
    return mask;
}

} // namespace

std::optional<BuiltIcon> BitmapToIcon(const QImage& bitmap)
{
    if (bitmap.isNull())
        return std::nullopt;
    return BuiltIcon{bitmap.convertToFormat(QImage::Format_RGB32), ClearMask(bitmap.size())};
}

QImage CreateColorMask(const QImage& bitmap, ColourRef colour)
{
    QImage mask = ClearMask(QSize(maskSide, maskSide));
    const QRgb wanted = ToRgb(colour);
    const int width = std::min(bitmap.width(), maskSide);
    const int height = std::min(bitmap.height(), maskSide);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if ((bitmap.pixel(x, y) & 0xFFFFFF) == (wanted & 0xFFFFFF)) // alpha plays no part
                mask.setPixel(x, y, 1);
    return mask;
}

std::optional<BuiltIcon> BitmapToMaskedIcon(QImage& bitmap, ColourRef colour)
{
    if (bitmap.isNull())
        return std::nullopt;
    // The picture is changed in place, so it must be a format that holds any colour.
    if (bitmap.format() != QImage::Format_RGB32)
        bitmap.convertTo(QImage::Format_RGB32);
    QImage mask = CreateColorMask(bitmap, colour);
    // Transparent pixels must be black in the colour image: the desktop combines them
    // with what lies below, and anything but black would show.
    for (int y = 0; y < std::min(bitmap.height(), maskSide); ++y)
        for (int x = 0; x < std::min(bitmap.width(), maskSide); ++x)
            if (MaskBit(mask, x, y))
                bitmap.setPixel(x, y, qRgb(0, 0, 0));
    return BuiltIcon{bitmap, mask};
}

QIcon ToQIcon(const BuiltIcon& icon)
{
    QImage image = icon.colour.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (MaskBit(icon.mask, x, y))
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
    return QIcon(QPixmap::fromImage(image));
}

} // namespace zorvel
