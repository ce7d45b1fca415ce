#pragma once
// JPEG files made at test time with libjpeg's encoder: Qt writes neither CMYK nor progressive
// files, and a test of the size limits needs pictures whose header claims another size.
#include <QByteArray>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

inline QByteArray EncodeWithLibjpeg(int width, int height, J_COLOR_SPACE space, int components, bool progressive,
                                    const std::vector<uchar>& pixels, bool fullColourResolution = false)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    if (fullColourResolution)
        cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uchar*>(pixels.data()) + size_t(cinfo.next_scanline) * width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(outSize));
    jpeg_destroy_compress(&cinfo);
    free(out);
    return bytes;
}

// A small progressive picture whose frame header is made to claim another size: libjpeg sets
// up its buffers for the stated size and shows the missing data as grey.
inline QByteArray ProgressiveClaiming(int width, int height)
{
    std::vector<uchar> pixels(64 * 40 * 3, 128);
    QByteArray file = EncodeWithLibjpeg(64, 40, JCS_RGB, 3, true, pixels, true);
    const qsizetype frame = file.indexOf("\xFF\xC2");
    if (frame < 0)
        return {};
    // Marker, length (2), precision (1), then height and width, big-endian.
    file[frame + 5] = char(height >> 8);
    file[frame + 6] = char(height & 0xFF);
    file[frame + 7] = char(width >> 8);
    file[frame + 8] = char(width & 0xFF);
    return file;
}
