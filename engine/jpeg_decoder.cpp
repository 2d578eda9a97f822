#include "engine/jpeg_decoder.h"

#include "platform/errors.h"

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

// Decodes into image; returns false with err.message set on failure. Kept free
// of objects with destructors, since libjpeg leaves it by longjmp.
bool decodeInto(const unsigned char* data, unsigned long size, QImage& image, ErrorManager& err,
                std::vector<unsigned char>& row) {
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
    cinfo.out_color_space = cmyk ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int w = static_cast<int>(cinfo.output_width);
    const int h = static_cast<int>(cinfo.output_height);
    const int comps = cinfo.output_components;
    image = QImage(w, h, QImage::Format_RGB32);
    row.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(comps));
    // Adobe writes CMYK inverted.
    const bool inverted = cmyk && cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = row.data() + static_cast<std::size_t>(x * comps);
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
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

QImage decodeJpeg(std::string_view data) {
    QImage image;
    ErrorManager err{};
    std::vector<unsigned char> row;
    if (data.empty())
        throw Exception("JPEG error: empty picture data");
    if (!decodeInto(reinterpret_cast<const unsigned char*>(data.data()),
                    static_cast<unsigned long>(data.size()), image, err, row))
        throw Exception(std::string("JPEG error: ") + err.message);
    return image;
}

} // namespace fb
