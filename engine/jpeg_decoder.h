#pragma once
// JPEG decoding with libjpeg: baseline and progressive, colour, greyscale
// and Adobe CMYK files.
#include <QImage>
#include <string_view>

namespace fb {

// Throws fb::Exception with libjpeg's message when the data is no JPEG.
QImage decodeJpeg(std::string_view data);

} // namespace fb
