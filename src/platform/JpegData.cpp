#include "platform/JpegData.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
// After jpeglib.h, which it needs for its types.
#include <jerror.h>

namespace {

struct CheckingErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    JpegData::Outcome outcome = JpegData::Outcome::complete;
};

bool meansMissingData(int code)
{
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void stop(j_common_ptr info, JpegData::Outcome outcome)
{
    auto *errors = reinterpret_cast<CheckingErrors *>(info->err);
    errors->outcome = outcome;
    std::longjmp(errors->jump, 1);
}

void exitOnError(j_common_ptr info)
{
    stop(info, JpegData::Outcome::undecodable);
}

// Level -1 is a warning; trace messages (0 and above) are passed over.
void emitMessage(j_common_ptr info, int level)
{
    if (level < 0 && meansMissingData(info->err->msg_code))
        stop(info, JpegData::Outcome::missingData);
}

void printNothing(j_common_ptr)
{
}

// Rows of the stored picture that the check holds at once: a row of
// blocks (up to 16 rows) and its share of libjpeg's buffers.
constexpr qint64 rowsRead = 64;

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

// The part that longjmp may leave: no object with a destructor lives here.
JpegData::Outcome readThrough(jpeg_decompress_struct &info, CheckingErrors &errors)
{
    if (setjmp(errors.jump) != 0)
        return errors.outcome;
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    info.do_block_smoothing = FALSE;
    jpeg_start_decompress(&info);
    const size_t rowBytes = size_t(info.output_width) * size_t(info.output_components);
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, JDIMENSION(rowBytes), 1);
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, row, 1);
    // Reads on to the end marker, where a cut file shows.
    jpeg_finish_decompress(&info);
    return JpegData::Outcome::complete;
}

} // namespace

JpegData::Outcome JpegData::check(const EncodedImage &image)
{
    std::unique_ptr<std::FILE, FileCloser> file;
    if (image.isFile()) {
        file.reset(std::fopen(QFile::encodeName(image.path()).constData(), "rbe"));
        if (!file)
            return Outcome::undecodable;
    } else if (image.bytes().isEmpty()) {
        return Outcome::undecodable;
    }
    jpeg_decompress_struct info{};
    CheckingErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = exitOnError;
    errors.manager.emit_message = emitMessage;
    errors.manager.output_message = printNothing;
    jpeg_create_decompress(&info);
    if (file)
        jpeg_stdio_src(&info, file.get());
    else
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(image.bytes().constData()),
                     static_cast<unsigned long>(image.bytes().size()));
    const Outcome outcome = readThrough(info, errors);
    jpeg_destroy_decompress(&info);
    return outcome;
}

qint64 JpegData::heldWhileReading(const EncodedImage &image)
{
    // Segments are walked from the start marker to the frame header.
    const std::unique_ptr<QIODevice> device = [&]() -> std::unique_ptr<QIODevice> {
        if (image.isFile())
            return std::make_unique<QFile>(image.path());
        return nullptr;
    }();
    const auto readAt = [&](qint64 at, qint64 count) -> QByteArray {
        if (!image.isFile())
            return image.bytes().mid(at, count);
        return device->seek(at) ? device->read(count) : QByteArray();
    };
    if (device && !device->open(QIODevice::ReadOnly))
        return 0;
    // Unknown: what a scan 16,384 pixels wide in three components holds.
    constexpr qint64 unknown = qint64(16384) * 3 * rowsRead;
    qint64 at = 2;
    for (int segments = 0; segments < 4096; ++segments) {
        const QByteArray marker = readAt(at, 4);
        if (marker.size() < 4 || quint8(marker.at(0)) != 0xff)
            return unknown;
        const int kind = quint8(marker.at(1));
        const int length = (quint8(marker.at(2)) << 8) | quint8(marker.at(3));
        const bool frame = kind >= 0xc0 && kind <= 0xcf && kind != 0xc4 && kind != 0xc8 && kind != 0xcc;
        if (frame) {
            const QByteArray header = readAt(at + 4, 6);
            if (header.size() < 6)
                return unknown;
            const qint64 height = (quint8(header.at(1)) << 8) | quint8(header.at(2));
            const qint64 width = (quint8(header.at(3)) << 8) | quint8(header.at(4));
            const qint64 components = quint8(header.at(5));
            // SOF2, SOF6, SOF10 and SOF14 are progressive.
            const bool progressive = kind == 0xc2 || kind == 0xc6 || kind == 0xca || kind == 0xce;
            return width * components * rowsRead + (progressive ? width * height * components * 2 : 0);
        }
        at += 2 + length;
    }
    return unknown;
}
