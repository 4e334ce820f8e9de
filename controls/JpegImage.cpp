#include "controls/JpegImage.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace skarvet {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the decoding frame. Warnings (corrupt data that libjpeg
// would patch over, such as a premature end of file) are counted so that a
// damaged picture is refused instead of shown half grey.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  int warnings;
};

void OnErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(manager->jump, 1);
}

void OnEmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    ++manager->warnings;
  }
}

// The program is a windowed tool: libjpeg's messages never go to stderr.
void OnOutputMessage(j_common_ptr) {}

// Creates the destination picture. Kept out of the frame that calls setjmp,
// so that no object with a destructor lives in that frame.
bool AllocateImage(QImage* image, JDIMENSION width, JDIMENSION height) {
  *image = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
  return !image->isNull();
}

// Converts one scan line of CMYK samples to RGB32 in place. Photoshop-style
// (Adobe) files store the inks inverted, which is what libjpeg hands back.
void CmykRowToRgb32(const JSAMPLE* cmyk, QRgb* out, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x) {
    int c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
  }
}

// The decoding frame. Only plain data lives here; `image` and `cmykRow`
// belong to the caller.
bool DecodeInto(jpeg_decompress_struct* cinfo, ErrorManager* errors, const unsigned char* data,
                std::size_t size, QImage* image, JSAMPLE* volatile* cmykRow) {
  if (setjmp(errors->jump)) {
    return false;
  }
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;

  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    cinfo->out_color_space = JCS_CMYK;
  } else {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    cinfo->out_color_space = JCS_EXT_BGRA; // the bytes of 0xAARRGGBB in memory
#else
    cinfo->out_color_space = JCS_EXT_ARGB;
#endif
  }
  const std::size_t pixels = std::size_t{cinfo->image_width} * cinfo->image_height;
  if (pixels == 0 || pixels > kMaxJpegPixels) return false;

  jpeg_start_decompress(cinfo);
  if (!AllocateImage(image, cinfo->output_width, cinfo->output_height)) return false;
  if (cmyk) {
    *cmykRow = static_cast<JSAMPLE*>((*cinfo->mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, cinfo->output_width * 4, 1)[0]);
  }
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION line = cinfo->output_scanline;
    auto* target = reinterpret_cast<QRgb*>(image->scanLine(static_cast<int>(line)));
    JSAMPROW row = cmyk ? *cmykRow : reinterpret_cast<JSAMPROW>(target);
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    if (cmyk) CmykRowToRgb32(row, target, cinfo->output_width, cinfo->saw_Adobe_marker);
  }
  jpeg_finish_decompress(cinfo);
  return errors->warnings == 0;
}

} // namespace

QImage DecodeJpeg(const unsigned char* data, std::size_t size) {
  if (data == nullptr || size == 0) return {};
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnErrorExit;
  errors.base.emit_message = OnEmitMessage;
  errors.base.output_message = OnOutputMessage;
  QImage image;
  JSAMPLE* volatile cmykRow = nullptr;
  const bool ok = DecodeInto(&cinfo, &errors, data, size, &image, &cmykRow);
  jpeg_destroy_decompress(&cinfo); // also frees cmykRow (an image-pool buffer)
  if (!ok) return {};
  return image;
}

QImage DecodeJpeg(const QByteArray& data) {
  return DecodeJpeg(reinterpret_cast<const unsigned char*>(data.constData()),
                    static_cast<std::size_t>(data.size()));
}

QImage LoadJpegFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeJpeg(file.readAll());
}

} // namespace skarvet
