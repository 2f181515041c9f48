#include "PictureFixtures.h"

#include <cstdlib>

std::string PcxHeader(int bitsPerPixel, int planes, int xmin, int ymin, int xmax, int ymax,
                      int bytesPerLine) {
  std::string h(128, '\0');
  const auto le16 = [&](std::size_t at, int v) {
    h[at] = static_cast<char>(v & 0xFF);
    h[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  h[0] = 10;  // maker
  h[1] = 5;   // version
  h[2] = 1;   // run-length encoding
  h[3] = static_cast<char>(bitsPerPixel);
  le16(4, xmin);
  le16(6, ymin);
  le16(8, xmax);
  le16(10, ymax);
  h[65] = static_cast<char>(planes);
  le16(66, bytesPerLine);
  return h;
}

std::string FlatJpeg(J_COLOR_SPACE space, const std::vector<JSAMPLE>& pixel, int quality,
                     bool progressive) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = 16;
  cinfo.image_height = 16;
  cinfo.input_components = static_cast<int>(pixel.size());
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row;
  for (int x = 0; x < 16; ++x) row.insert(row.end(), pixel.begin(), pixel.end());
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return out;
}
