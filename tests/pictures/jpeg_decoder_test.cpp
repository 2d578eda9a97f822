// The JPEG decoder: the direct path into the image's scan lines against the
// per-pixel conversion, and the CMYK and greyscale pictures that only the
// conversion handles.
#include "content/embedded.h"
#include "engine/jpeg_decoder.h"
#include "engine/resource_loader.h"
#include "platform/errors.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <jpeglib.h>
#include <string>
#include <vector>

using namespace fb;

namespace {

// The raw 32-bit words, alpha byte included (QImage::operator== and pixel()
// mask it for Format_RGB32, so a stray fourth byte would pass them).
std::vector<quint32> rawWords(const QImage& img) {
    std::vector<quint32> words;
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(img.constScanLine(y));
        words.insert(words.end(), line, line + img.width());
    }
    return words;
}

TEST(JpegDecoder, DirectPathMatchesConversionForEveryCartoon) {
    int cartoons = 0;
    for (const ResourceEntry& e : embeddedResources().entries()) {
        if (std::string(e.type) != "JPG")
            continue;
        ++cartoons;
        const QImage direct = decodeJpeg(e.bytes());
        const QImage converted = decodeJpegConverted(e.bytes());
        ASSERT_EQ(direct.format(), QImage::Format_RGB32) << e.name;
        ASSERT_EQ(direct.size(), converted.size()) << e.name;
        const std::vector<quint32> d = rawWords(direct), c = rawWords(converted);
        std::size_t firstDiff = 0;
        while (firstDiff < d.size() && d[firstDiff] == c[firstDiff])
            ++firstDiff;
        EXPECT_EQ(firstDiff, d.size()) << e.name << ": pixel " << firstDiff % direct.width() << ","
                                       << firstDiff / direct.width() << " differs";
        for (quint32 w : d)
            if ((w >> 24) != 0xff) {
                ADD_FAILURE() << e.name << ": alpha byte not 0xff";
                break;
            }
    }
    EXPECT_EQ(cartoons, 20);
}

// A small JPEG written with libjpeg, for the kinds the cartoons lack.
struct Encoded {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~Encoded() { std::free(data); }
    std::string_view bytes() const { return {reinterpret_cast<const char*>(data), size}; }
};

void encode(Encoded& out, int w, int h, int comps, J_COLOR_SPACE space, bool adobe,
            const std::vector<unsigned char>& pixels) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out.data, &out.size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = comps;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(pixels.data()) +
                       static_cast<std::size_t>(cinfo.next_scanline) * static_cast<std::size_t>(w * comps);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
}

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

TEST(JpegDecoder, GreyscaleAndCmykGoThroughTheConversion) {
    const int w = 16, h = 16;
    std::vector<unsigned char> grey(w * h, 200);
    for (int x = 0; x < w; ++x)
        grey[x] = 40; // a dark top row
    Encoded g;
    encode(g, w, h, 1, JCS_GRAYSCALE, false, grey);
    const QImage gi = decodeJpeg(g.bytes());
    EXPECT_EQ(gi.format(), QImage::Format_RGB32);
    EXPECT_TRUE(gi.allGray());
    EXPECT_TRUE(near(gi.pixel(8, 0), qRgb(40, 40, 40), 6));
    EXPECT_TRUE(near(gi.pixel(8, 12), qRgb(200, 200, 200), 6));
    EXPECT_EQ(rawWords(gi), rawWords(decodeJpegConverted(g.bytes())));

    // Plain CMYK: 0 is no ink. Adobe's files store the inverse, which libjpeg
    // writes when asked for the Adobe marker and which the decoder undoes.
    std::vector<unsigned char> cmyk;
    for (int i = 0; i < w * h; ++i)
        cmyk.insert(cmyk.end(), {0, 255, 255, 0}); // red
    std::vector<unsigned char> inverted;
    for (unsigned char v : cmyk)
        inverted.push_back(static_cast<unsigned char>(255 - v));
    Encoded plain, adobe;
    encode(plain, w, h, 4, JCS_CMYK, false, cmyk);
    encode(adobe, w, h, 4, JCS_CMYK, true, inverted);
    EXPECT_TRUE(near(decodeJpeg(plain.bytes()).pixel(5, 5), qRgb(255, 0, 0), 6));
    EXPECT_TRUE(near(decodeJpeg(adobe.bytes()).pixel(5, 5), qRgb(255, 0, 0), 6));
}

TEST(JpegDecoder, BrokenDataFailsWithLibjpegsMessage) {
    auto message = [](std::string_view bytes) {
        try {
            decodeJpeg(bytes);
        } catch (const Exception& ex) {
            return std::string(ex.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(""), "JPEG error: empty picture data");
    EXPECT_EQ(message("not a picture"), "JPEG error: Not a JPEG file: starts with 0x6e 0x6f");
    // Cut inside the header: libjpeg runs out of data before the frame.
    MemoryStream s;
    loadResourceFile(embeddedResources(), "bild059.jpg", s);
    const std::string cartoon = s.bytes();
    EXPECT_EQ(message(std::string_view(cartoon).substr(0, 20)).rfind("JPEG error: ", 0), 0u);
}

} // namespace
