// JPEG decoding through libjpeg, with an error manager that turns every libjpeg error (and every
// corrupt-data warning) into a null image instead of the library's default exit().
// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <QByteArray>
#include <QImage>
#include <csetjmp>
#include <memory>

#include "resources/Images.h"

namespace tarvel::resources {

namespace {

// Larger pictures are refused rather than allocated: a forged header must not exhaust memory.
constexpr JDIMENSION kMaxDimension = 16384;

struct ErrorManager {
    jpeg_error_mgr base;  // first member: libjpeg hands us a pointer to it
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    // Level -1 is a corrupt-data warning (truncated file, bad Huffman code...): the picture
    // would come out partly grey, so it counts as a failure.
    if (level < 0) {
        OnError(cinfo);
    }
}

void Silence(j_common_ptr /*cinfo*/) {}

// Everything that must survive a longjmp lives here, on the heap, created before setjmp: the
// decoder owns no C++ object whose constructor runs between setjmp and longjmp.
struct DecodeState {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    QImage image;
    bool created = false;
    ~DecodeState() {
        if (created) {
            jpeg_destroy_decompress(&cinfo);
        }
    }
};

// Returns true with state.image filled, or false; never throws. Kept free of locals with
// destructors so that the longjmp back into it skips nothing.
bool DecodeInto(DecodeState& state, const unsigned char* data, unsigned long size) {
    jpeg_decompress_struct& cinfo = state.cinfo;
    cinfo.err = jpeg_std_error(&state.err.base);
    state.err.base.error_exit = OnError;
    state.err.base.emit_message = OnMessage;
    state.err.base.output_message = Silence;
    if (setjmp(state.err.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&cinfo);
    state.created = true;
    jpeg_mem_src(&cinfo, data, size);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    // libjpeg converts greyscale and YCbCr to RGB; CMYK cannot be, and fails below.
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 || cinfo.output_width == 0 || cinfo.output_height == 0 ||
        cinfo.output_width > kMaxDimension || cinfo.output_height > kMaxDimension) {
        return false;
    }
    state.image = QImage(static_cast<int>(cinfo.output_width),
                         static_cast<int>(cinfo.output_height), QImage::Format_RGB888);
    if (state.image.isNull()) {
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = state.image.scanLine(static_cast<int>(cinfo.output_scanline));
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty()) {
        return {};
    }
    auto state = std::make_unique<DecodeState>();
    if (!DecodeInto(*state, reinterpret_cast<const unsigned char*>(data.constData()),
                    static_cast<unsigned long>(data.size()))) {
        return {};
    }
    return state->image.convertToFormat(QImage::Format_RGB32);
}

}  // namespace tarvel::resources
