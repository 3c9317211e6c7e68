#include "platform/JpegData.h"

#include <QFile>

#include <algorithm>
#include <csetjmp>
#include <limits>
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

// The most that the coded data of one sample can take: a coefficient's
// code and bits come to at most 30 bits (a 12-bit picture's), a
// progressive picture's refinements add a bit a pass, and byte stuffing
// doubles the lot at worst. Real pictures take a byte or two.
constexpr qint64 mostBytesPerSample = 16;

// What a JPEG may hold besides its header and the coded data its frame
// can hold: tables and comments between scans, and data after the end of
// the image (a phone's movie, a second picture).
constexpr qint64 besidesCodedData = qint64(16) * 1024 * 1024;

// What may come after a scan's data before the next marker: the tables
// and comments between scans, an encoder's padding. Beyond it the bytes
// are no part of the picture (libjpeg would read on to the next marker,
// wherever it is).
constexpr qint64 betweenScans = qint64(1) * 1024 * 1024;

// Pieces in which the bytes are handed to libjpeg.
constexpr qint64 pieceBytes = qint64(64) * 1024;

// Hands libjpeg the file's bytes, or those in memory, piece by piece, and
// stops the read (Outcome::beyondPicture) once they can no longer be the
// picture's: past `limit`, or too far past the end of a scan's data.
struct BoundedSource {
    jpeg_source_mgr manager{}; // first: libjpeg sees this
    QFile *file = nullptr;     // or the bytes in memory:
    const JOCTET *bytes = nullptr;
    qint64 size = 0;                  // of the file or the bytes
    qint64 position = 0;              // of the next byte not yet handed over
    qint64 limit = std::numeric_limits<qint64>::max();
    qint64 scanDataEnd = 0;           // where the last scan's data was read to
    JOCTET piece[pieceBytes];
};

BoundedSource &sourceOf(j_decompress_ptr info)
{
    return *reinterpret_cast<BoundedSource *>(info->src);
}

void startSource(j_decompress_ptr)
{
}

boolean fillPiece(j_decompress_ptr info)
{
    BoundedSource &source = sourceOf(info);
    // Every byte handed over is used by now. While a scan's data is being
    // decoded, all of it is the scan's; once its last row of blocks is
    // done, libjpeg looks for the next marker.
    const bool scanDone = info->total_iMCU_rows > 0 && info->input_iMCU_row >= info->total_iMCU_rows;
    if (!scanDone)
        source.scanDataEnd = source.position;
    const qint64 count = std::min({pieceBytes, source.limit - source.position, source.size - source.position});
    if ((scanDone && source.position - source.scanDataEnd > betweenScans)
        || (count <= 0 && source.position < source.size))
        stop(reinterpret_cast<j_common_ptr>(info), JpegData::Outcome::beyondPicture);
    qint64 read = 0;
    if (count > 0 && source.file) {
        if (source.file->seek(source.position))
            read = source.file->read(reinterpret_cast<char *>(source.piece), count);
        if (read < 0)
            stop(reinterpret_cast<j_common_ptr>(info), JpegData::Outcome::undecodable);
        source.manager.next_input_byte = source.piece;
    } else if (count > 0) {
        read = count;
        source.manager.next_input_byte = source.bytes + source.position;
    }
    if (read == 0) {
        // The data ends here: a warning that data is missing, and an end
        // marker for libjpeg to stop at.
        WARNMS(info, JWRN_JPEG_EOF);
        source.piece[0] = 0xff;
        source.piece[1] = JPEG_EOI;
        source.manager.next_input_byte = source.piece;
        source.manager.bytes_in_buffer = 2;
        return TRUE;
    }
    source.position += read;
    source.manager.bytes_in_buffer = size_t(read);
    return TRUE;
}

// Segments libjpeg does not keep are passed over unread.
void skipBytes(j_decompress_ptr info, long count)
{
    BoundedSource &source = sourceOf(info);
    if (count <= 0)
        return;
    if (size_t(count) <= source.manager.bytes_in_buffer) {
        source.manager.next_input_byte += count;
        source.manager.bytes_in_buffer -= size_t(count);
        return;
    }
    source.position += qint64(count) - qint64(source.manager.bytes_in_buffer);
    source.manager.bytes_in_buffer = 0;
}

void endSource(j_decompress_ptr)
{
}

// The most that the header's picture can hold, its blocks' padding and
// every component at full size included.
qint64 mostCodedBytes(const jpeg_decompress_struct &info)
{
    const auto padded = [](JDIMENSION length) { return (qint64(length) + 31) / 32 * 32; };
    return padded(info.image_width) * padded(info.image_height) * info.num_components * mostBytesPerSample;
}

// The part that longjmp may leave: no object with a destructor lives here.
JpegData::Outcome readThrough(jpeg_decompress_struct &info, CheckingErrors &errors, BoundedSource &source)
{
    if (setjmp(errors.jump) != 0)
        return errors.outcome;
    jpeg_read_header(&info, TRUE);
    source.limit = source.position - qint64(source.manager.bytes_in_buffer) + mostCodedBytes(info) + besidesCodedData;
    if (source.size > source.limit)
        return JpegData::Outcome::beyondPicture;
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
    const auto source = std::make_unique<BoundedSource>();
    QFile file(image.path());
    if (image.isFile()) {
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return Outcome::undecodable;
        source->file = &file;
        source->size = file.size();
    } else {
        source->bytes = reinterpret_cast<const JOCTET *>(image.bytes().constData());
        source->size = image.bytes().size();
    }
    if (source->size == 0)
        return Outcome::undecodable;
    source->manager.init_source = startSource;
    source->manager.fill_input_buffer = fillPiece;
    source->manager.skip_input_data = skipBytes;
    source->manager.resync_to_restart = jpeg_resync_to_restart;
    source->manager.term_source = endSource;
    jpeg_decompress_struct info{};
    CheckingErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = exitOnError;
    errors.manager.emit_message = emitMessage;
    errors.manager.output_message = printNothing;
    jpeg_create_decompress(&info);
    info.src = &source->manager;
    const Outcome outcome = readThrough(info, errors, *source);
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
