// JPEG pictures decoded with libjpeg straight into a QImage.
//
// Baseline and progressive files, colour (YCbCr, RGB), greyscale and CMYK
// (Adobe's inverted convention) are read. Any damage (a truncated file,
// garbage, a corrupt stream that libjpeg only warns about, or dimensions
// beyond what the program would ever show) gives a null image; nothing is
// printed and the process never aborts.
#pragma once

#include <QImage>

#include <cstddef>

class QByteArray;
class QString;

namespace skarvet {

// Pictures beyond this many pixels (e.g. a damaged header claiming
// 65000 x 65000) are refused rather than allocated.
inline constexpr std::size_t kMaxJpegPixels = std::size_t{64} * 1024 * 1024;

// Decodes a whole JPEG file held in memory. The result is Format_RGB32, or a
// null image when the data is not a sound JPEG.
QImage DecodeJpeg(const unsigned char* data, std::size_t size);
QImage DecodeJpeg(const QByteArray& data);

// Reads a file (a Qt resource path such as ":/resources/images/banner.jpg"
// works too) and decodes it; a null image when it cannot be read or decoded.
QImage LoadJpegFile(const QString& fileName);

} // namespace skarvet
