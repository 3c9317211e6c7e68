#pragma once

#include "platform/ImageDecoder.h"

// Whether a JPEG's data is all there: libjpeg reads it through (at an
// eighth of its size, the pixels thrown away) and every warning it gives
// that says data is missing counts: the file ends early ("Premature end of
// JPEG file"), a segment of coded data ends early ("premature end of data
// segment"), restart markers are lost, codes are broken. Qt's reader and
// libvips only warn of these and fill the rest in grey. Warnings that lose
// no data (bytes between segments, an unknown JFIF version) pass. A file
// far larger than the picture it declares, or one that holds far more than
// a few bytes between a scan's data and the next marker, is refused having
// read no more than that.
// ImageDecoder's own helper. Any thread.
namespace JpegData {

enum class Outcome {
    complete,
    missingData, // a warning that data is missing
    undecodable, // libjpeg stopped with an error
    // More bytes than the picture its header declares: more than its coded
    // data could take, or far more after a scan's data before the next
    // marker. Read no further than that.
    beyondPicture,
};

Outcome check(const EncodedImage &image);

// The memory that libjpeg holds while it reads the picture at any scale
// (check() and Qt's reader alike): a progressive JPEG's coefficients for
// the whole picture (two bytes a sample), a baseline one's rows of blocks.
// Reads the segments before the frame header only.
qint64 heldWhileReading(const EncodedImage &image);

} // namespace JpegData
