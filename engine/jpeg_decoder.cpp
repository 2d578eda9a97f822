#include "engine/jpeg_decoder.h"

#include "platform/errors.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <vector>

namespace fb {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void silence(j_common_ptr) {}

// libjpeg-turbo writes the bytes of Qt's 32-bit pixel (0xffRRGGBB in native
// order) itself; the alpha variant sets the fourth byte to 0xff, which
// Format_RGB32 requires.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kNativeRgb32 = JCS_EXT_BGRA;
#else
constexpr J_COLOR_SPACE kNativeRgb32 = JCS_EXT_ARGB;
#endif

// Rows handed to libjpeg per call; it fills at most one row group (one or two
// rows for the usual sampling) but takes any number of row pointers.
constexpr int kRowsPerCall = 16;

void convertRow(const unsigned char* in, QRgb* out, int w, int comps, bool grey, bool cmyk, bool inverted) {
    for (int x = 0; x < w; ++x) {
        const unsigned char* p = in + static_cast<std::size_t>(x) * static_cast<std::size_t>(comps);
        if (grey) {
            out[x] = qRgb(p[0], p[0], p[0]);
        } else if (cmyk) {
            int c = p[0], m = p[1], ye = p[2], k = p[3];
            if (!inverted) {
                c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
            }
            out[x] = qRgb(c * k / 255, m * k / 255, ye * k / 255);
        } else {
            out[x] = qRgb(p[0], p[1], p[2]);
        }
    }
}

// Decodes into image; returns false with err.message set on failure. Kept free
// of objects with destructors, since libjpeg leaves it by longjmp.
bool decodeInto(const unsigned char* data, unsigned long size, QImage& image, ErrorManager& err,
                std::vector<unsigned char>& row, bool direct) {
    jpeg_decompress_struct cinfo;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = silence;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    const bool grey = cinfo.num_components == 1;
    direct = direct && !cmyk && !grey;
    cinfo.out_color_space = direct ? kNativeRgb32 : cmyk ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int w = static_cast<int>(cinfo.output_width);
    const int h = static_cast<int>(cinfo.output_height);
    const int comps = cinfo.output_components;
    image = QImage(w, h, QImage::Format_RGB32);
    if (image.isNull()) {
        std::snprintf(err.message, sizeof err.message, "picture of %dx%d pixels too large", w, h);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (direct) {
        unsigned char* const bits = image.bits();
        const std::size_t stride = static_cast<std::size_t>(image.bytesPerLine());
        JSAMPROW rows[kRowsPerCall];
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            const int n = std::min(kRowsPerCall, h - y);
            for (int i = 0; i < n; ++i)
                rows[i] = bits + static_cast<std::size_t>(y + i) * stride;
            jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
        }
    } else {
        row.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(comps));
        // Adobe writes CMYK inverted.
        const bool inverted = cmyk && cinfo.saw_Adobe_marker;
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            JSAMPROW rows[1] = {row.data()};
            jpeg_read_scanlines(&cinfo, rows, 1);
            convertRow(row.data(), reinterpret_cast<QRgb*>(image.scanLine(y)), w, comps, grey, cmyk, inverted);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

QImage decode(std::string_view data, bool direct) {
    QImage image;
    ErrorManager err{};
    std::vector<unsigned char> row;
    if (data.empty())
        throw Exception("JPEG error: empty picture data");
    if (!decodeInto(reinterpret_cast<const unsigned char*>(data.data()),
                    static_cast<unsigned long>(data.size()), image, err, row, direct))
        throw Exception(std::string("JPEG error: ") + err.message);
    return image;
}

} // namespace

QImage decodeJpeg(std::string_view data) { return decode(data, true); }

QImage decodeJpegConverted(std::string_view data) { return decode(data, false); }

} // namespace fb
