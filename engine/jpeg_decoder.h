#pragma once
// JPEG decoding with libjpeg: baseline and progressive, colour, greyscale
// and Adobe CMYK files.
#include <QImage>
#include <string_view>

namespace fb {

// Throws fb::Exception with libjpeg's message when the data is no JPEG.
// Colour pictures are decoded straight into the image's scan lines; CMYK
// and greyscale ones go through a row buffer and are converted per pixel.
QImage decodeJpeg(std::string_view data);

// The same picture with every kind taken through the row buffer, so that the
// direct path can be compared with a plain per-pixel conversion.
QImage decodeJpegConverted(std::string_view data);

} // namespace fb
