#include "main/JpegDecoder.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// libjpeg reports a fatal error by calling error_exit, whose default ends the process. Ours
// keeps the message and jumps back into Decode, which cleans up and reports the failure.
struct TErrorManager {
    jpeg_error_mgr Pub;  // first, so libjpeg's pointer to it is a pointer to us
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    int Warnings;
};

// The library's errors that come from the picture's size or the memory it needs, not from
// damaged data.
bool IsSizeError(int code)
{
    return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE || code == JERR_IMAGE_TOO_BIG
        || code == JERR_WIDTH_OVERFLOW;
}

// libjpeg's whole-picture coefficient buffers for a multi-scan file, from the frame header.
qint64 CoefficientBytes(const jpeg_decompress_struct* cinfo)
{
    qint64 bytes = 0;
    for (int i = 0; i < cinfo->num_components; ++i) {
        const jpeg_component_info& c = cinfo->comp_info[i];
        const qint64 wide = (qint64(c.width_in_blocks) + c.h_samp_factor - 1) / c.h_samp_factor * c.h_samp_factor;
        const qint64 high = (qint64(c.height_in_blocks) + c.v_samp_factor - 1) / c.v_samp_factor * c.v_samp_factor;
        bytes += wide * high * qint64(sizeof(JBLOCK));
    }
    return bytes;
}

void ErrorExit(j_common_ptr info)
{
    auto* err = reinterpret_cast<TErrorManager*>(info->err);
    (*info->err->format_message)(info, err->Message);
    std::longjmp(err->Jump, 1);
}

void EmitMessage(j_common_ptr info, int level)
{
    if (level < 0)  // a warning: damaged data that the library works around
        ++reinterpret_cast<TErrorManager*>(info->err)->Warnings;
}

void OutputMessage(j_common_ptr) {}  // never print to the terminal

// CMYK pictures in the wild are written the way the common image editors do it, with every
// ink stored inverted (255 = no ink); libjpeg hands the stored bytes through unchanged.
void CmykRowToRgbx(uchar* row, int width)
{
    for (int x = 0; x < width; ++x) {
        uchar* p = row + 4 * x;
        const int c = p[0], m = p[1], y = p[2], k = p[3];
        p[0] = uchar(c * k / 255);
        p[1] = uchar(m * k / 255);
        p[2] = uchar(y * k / 255);
        p[3] = 255;
    }
}

constexpr int ProgressBand = 32;  // rows between two progress calls
// libjpeg's own working memory: the coefficients of a progressive picture of the largest size
// that previews, with full colour resolution (three components), plus room for the rest.
constexpr long MaxDecoderMemory =
    long(TJpegDecoder::MaxProgressivePixels / 64 * 3 * sizeof(JBLOCK)) + 64L * 1024 * 1024;

// Everything that must survive the jump back lives in *out, never in locals of this frame.
void DecodeInto(TJpegPicture* out, jpeg_decompress_struct* cinfo, TErrorManager* err, const uchar* data, qint64 size,
                qint64 maxPixels, const TJpegDecoder::Progress* progress)
{
    cinfo->err = jpeg_std_error(&err->Pub);
    err->Pub.error_exit = ErrorExit;
    err->Pub.emit_message = EmitMessage;
    err->Pub.output_message = OutputMessage;
    err->Warnings = 0;
    err->Message[0] = 0;
    if (setjmp(err->Jump)) {
        out->TooLarge = IsSizeError(err->Pub.msg_code);
        jpeg_destroy_decompress(cinfo);
        out->Image = QImage();
        out->Warnings = err->Warnings;
        out->Error = QString::fromLatin1(err->Message);
        if (out->Error.isEmpty())
            out->Error = QStringLiteral("unreadable JPEG data");
        return;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    out->Width = int(cinfo->image_width);
    out->Height = int(cinfo->image_height);

    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    while (cinfo->scale_denom < 8
           && qint64(cinfo->image_width / cinfo->scale_denom) * (cinfo->image_height / cinfo->scale_denom) > maxPixels)
        cinfo->scale_denom *= 2;
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBX;
    // Checked before decoding starts: a progressive file makes libjpeg allocate buffers for
    // the whole picture when it starts, whatever the reduction.
    jpeg_calc_output_dimensions(cinfo);
    const bool wholePicture = jpeg_has_multiple_scans(cinfo);
    if (qint64(cinfo->output_width) * cinfo->output_height > maxPixels
        || (wholePicture
            && (qint64(out->Width) * out->Height > TJpegDecoder::MaxProgressivePixels
                || CoefficientBytes(cinfo) > MaxDecoderMemory))) {
        jpeg_destroy_decompress(cinfo);
        out->TooLarge = true;
        out->Error = QStringLiteral("picture too large to preview (%1 x %2)").arg(out->Width).arg(out->Height);
        return;
    }
    cinfo->mem->max_memory_to_use = MaxDecoderMemory;
    jpeg_start_decompress(cinfo);

    const int w = int(cinfo->output_width);
    const int h = int(cinfo->output_height);
    if (cinfo->output_components != 4) {
        jpeg_destroy_decompress(cinfo);
        out->Error = QStringLiteral("unexpected colour layout");
        return;
    }
    out->Image = QImage(w, h, QImage::Format_RGBX8888);
    if (out->Image.isNull()) {
        jpeg_destroy_decompress(cinfo);
        out->TooLarge = true;
        out->Error = QStringLiteral("not enough memory for the picture");
        return;
    }
    out->Image.fill(Qt::lightGray);  // rows not decoded yet, for progressive drawing
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = int(cinfo->output_scanline);
        JSAMPROW row = out->Image.scanLine(y);
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
            break;  // cannot happen with a memory source; guards an endless loop
        if (cmyk)
            CmykRowToRgbx(row, w);
        if (*progress && ((y + 1) % ProgressBand == 0))
            (*progress)(out->Image, y + 1);
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    out->Warnings = err->Warnings;
}

}  // namespace

TJpegPicture TJpegDecoder::Decode(const uchar* data, qint64 size, qint64 maxPixels, const Progress& progress)
{
    TJpegPicture out;
    if (size <= 0) {
        out.Error = QStringLiteral("empty file");
        return out;
    }
    if (maxPixels <= 0)
        maxPixels = MaxPixels;
    jpeg_decompress_struct cinfo{};
    TErrorManager err{};
    DecodeInto(&out, &cinfo, &err, data, size, maxPixels, &progress);
    if (out.Error.isEmpty() && out.Image.isNull())
        out.Error = QStringLiteral("unreadable JPEG data");
    return out;
}

TJpegPicture TJpegDecoder::DecodeData(const QByteArray& data, qint64 maxPixels, const Progress& progress)
{
    return Decode(reinterpret_cast<const uchar*>(data.constData()), data.size(), maxPixels, progress);
}

TJpegPicture TJpegDecoder::DecodeFile(const QString& path, qint64 maxPixels, const Progress& progress)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        TJpegPicture out;
        out.Error = QStringLiteral("cannot open the file: ") + file.errorString();
        return out;
    }
    const qint64 size = file.size();
    if (size <= 0)
        return Decode(nullptr, 0, maxPixels, progress);
    if (const uchar* mapped = file.map(0, size))
        return Decode(mapped, size, maxPixels, progress);
    return DecodeData(file.readAll(), maxPixels, progress);
}
