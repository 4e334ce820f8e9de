// The banner's JPEG decoder: the real banner, other colour models, and
// damaged data of every kind giving a null image instead of a crash.
#include "controls/JpegImage.h"

#include <QByteArray>
#include <QFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

using namespace skarvet;

namespace {

QByteArray Banner() {
  QFile file(QStringLiteral(":/resources/images/banner.jpg"));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll();
}

// Encodes a small picture with libjpeg: `components` 1 (grey), 3 (RGB) or
// 4 (CMYK, stored the inverted Adobe way as libjpeg writes it).
QByteArray Encode(int width, int height, int components, bool progressive,
                  const std::vector<unsigned char>& pixels) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * width * components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  QByteArray data(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
  std::free(buffer);
  return data;
}

void ExpectNear(QRgb actual, int r, int g, int b) {
  EXPECT_NEAR(qRed(actual), r, 6);
  EXPECT_NEAR(qGreen(actual), g, 6);
  EXPECT_NEAR(qBlue(actual), b, 6);
}

TEST(JpegImage, TheBannerIsAProgressiveColourPictureOf428By85) {
  const QByteArray data = Banner();
  ASSERT_FALSE(data.isEmpty());
  // Start of frame, progressive (SOF2), three components.
  const qsizetype sof = data.indexOf(QByteArray("\xff\xc2", 2));
  ASSERT_GT(sof, 0);
  EXPECT_EQ(static_cast<unsigned char>(data[sof + 9]), 3);

  const QImage image = DecodeJpeg(data);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(428, 85));
  EXPECT_EQ(image.format(), QImage::Format_RGB32);
  // Opaque everywhere; colourful (not grey), with the orange strip at the bottom.
  for (int y = 0; y < image.height(); y += 7)
    for (int x = 0; x < image.width(); x += 7) EXPECT_EQ(qAlpha(image.pixel(x, y)), 255);
  const QRgb strip = image.pixel(100, 83);
  EXPECT_GT(qRed(strip), 200);
  EXPECT_LT(qBlue(strip), 120);
  const QRgb sky = image.pixel(200, 5);
  EXPECT_GT(qBlue(sky), qRed(sky) + 40);
}

TEST(JpegImage, ColourModelsDecodeToTheirColours) {
  std::vector<unsigned char> rgb;
  for (int i = 0; i < 16 * 8; ++i) rgb.insert(rgb.end(), {200, 40, 90});
  for (bool progressive : {false, true}) {
    const QImage image = DecodeJpeg(Encode(16, 8, 3, progressive, rgb));
    ASSERT_EQ(image.size(), QSize(16, 8));
    ExpectNear(image.pixel(5, 5), 200, 40, 90);
  }
  const QImage grey = DecodeJpeg(Encode(9, 5, 1, false, std::vector<unsigned char>(45, 77)));
  ASSERT_EQ(grey.size(), QSize(9, 5));
  ExpectNear(grey.pixel(4, 2), 77, 77, 77);
  // CMYK with the inks stored inverted: (255, 0, 255, 255) is full magenta.
  std::vector<unsigned char> cmyk;
  for (int i = 0; i < 8 * 8; ++i) cmyk.insert(cmyk.end(), {255, 0, 255, 255});
  const QImage magenta = DecodeJpeg(Encode(8, 8, 4, false, cmyk));
  ASSERT_EQ(magenta.size(), QSize(8, 8));
  ExpectNear(magenta.pixel(3, 3), 255, 0, 255);
}

TEST(JpegImage, DamagedDataGivesANullImage) {
  const QByteArray banner = Banner();
  EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
  EXPECT_TRUE(DecodeJpeg(nullptr, 100).isNull());
  EXPECT_TRUE(DecodeJpeg(QByteArray("\xff\xd8", 2)).isNull());
  EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture at all")).isNull());
  EXPECT_TRUE(DecodeJpeg(QByteArray(5000, '\0')).isNull());
  // Truncated anywhere: in the header, in the first scan, near the end.
  for (qsizetype cut : {qsizetype(10), qsizetype(200), banner.size() / 3, banner.size() / 2,
                        banner.size() - 40, banner.size() - 2})
    EXPECT_TRUE(DecodeJpeg(banner.left(cut)).isNull()) << cut;
  // Random garbage after a valid start.
  QByteArray garbage = banner.left(600);
  std::srand(7);
  for (int i = 0; i < 4000; ++i) garbage.append(static_cast<char>(std::rand() & 0xff));
  EXPECT_TRUE(DecodeJpeg(garbage).isNull());
}

TEST(JpegImage, CorruptedBytesNeverCrash) {
  const QByteArray banner = Banner();
  std::srand(11);
  for (int round = 0; round < 120; ++round) {
    QByteArray damaged = banner;
    for (int i = 0; i < 8; ++i) {
      const qsizetype at = std::rand() % damaged.size();
      damaged[at] = static_cast<char>(std::rand() & 0xff);
    }
    const QImage image = DecodeJpeg(damaged);
    // Either refused, or a whole picture of the declared size.
    if (!image.isNull()) {
      EXPECT_FALSE(image.size().isEmpty());
    }
  }
}

TEST(JpegImage, AHeaderClaimingHugeDimensionsIsRefused) {
  QByteArray data = Banner();
  const qsizetype sof = data.indexOf(QByteArray("\xff\xc2", 2));
  ASSERT_GT(sof, 0);
  // Height and width, big-endian, after the marker, length and precision.
  data[sof + 5] = '\xff';
  data[sof + 6] = '\xf0';
  data[sof + 7] = '\xff';
  data[sof + 8] = '\xf0';
  EXPECT_TRUE(DecodeJpeg(data).isNull());
}

TEST(JpegImage, FilesAreReadWhole) {
  EXPECT_EQ(LoadJpegFile(QStringLiteral(":/resources/images/banner.jpg")).size(), QSize(428, 85));
  EXPECT_TRUE(LoadJpegFile(QStringLiteral("/nonexistent/banner.jpg")).isNull());
  EXPECT_TRUE(LoadJpegFile(QStringLiteral(":/resources/images/keys.bmp")).isNull());
}

} // namespace
