#include "JpegCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/Files.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace {

// libjpeg's fatal errors end in error_exit; ours jumps back to the call that started the work
// instead of ending the process. The frames jumped over are the library's own C frames only.
struct TJpegErrorManager {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->Message);
  std::longjmp(err->Jump, 1);
}

// Warnings are not printed. Data that ends before the picture does is an error: the library
// would pad it with grey and call the picture good.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) {
    ++cinfo->err->num_warnings;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(cinfo);
  }
}

void InstallErrorManager(TJpegErrorManager& err) {
  jpeg_std_error(&err.Pub);
  err.Pub.error_exit = JpegErrorExit;
  err.Pub.emit_message = JpegEmitMessage;
  err.Message[0] = '\0';
}

// Bounds libjpeg's own working memory (a progressive picture keeps all its coefficients).
constexpr long JpegMaxWorkMemory = 512L << 20;

void FailWith(j_common_ptr cinfo, int code) {
  cinfo->err->msg_code = code;
  (*cinfo->err->error_exit)(cinfo);
}

int ScaleDenominator(unsigned width, unsigned height, const TJpegDecodeOptions& options) {
  if (options.FitWidth <= 0 && options.FitHeight <= 0) return 1;
  const auto fitW = static_cast<unsigned>(options.FitWidth > 0 ? options.FitWidth : 0);
  const auto fitH = static_cast<unsigned>(options.FitHeight > 0 ? options.FitHeight : 0);
  int denom = 1;
  for (int d = 2; d <= 8; d *= 2) {
    if ((width + d - 1) / d < fitW || (height + d - 1) / d < fitH) break;
    denom = d;
  }
  return denom;
}

// Adobe's CMYK and YCCK pictures come as inverted CMYK from the library.
void CmykRowToRgb(const JSAMPLE* cmyk, unsigned width, std::uint8_t* rgb) {
  for (unsigned x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    const unsigned k = cmyk[3];
    rgb[0] = static_cast<std::uint8_t>((cmyk[0] * k + 127) / 255);
    rgb[1] = static_cast<std::uint8_t>((cmyk[1] * k + 127) / 255);
    rgb[2] = static_cast<std::uint8_t>((cmyk[2] * k + 127) / 255);
  }
}

// Runs the whole decode between setjmp and its end; the C++ objects it fills live in the caller,
// so the jump never skips a destructor. Returns false with message set on any failure.
bool DecodeInto(const unsigned char* data, std::size_t size, const TJpegDecodeOptions& options,
                TJpegPicture& picture, std::vector<JSAMPLE>& cmykRow, char* message) {
  jpeg_decompress_struct cinfo;
  TJpegErrorManager err;
  InstallErrorManager(err);
  cinfo.err = &err.Pub;
  if (setjmp(err.Jump)) {
    std::memcpy(message, err.Message, sizeof err.Message);
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = JpegMaxWorkMemory;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  cinfo.scale_num = 1;
  cinfo.scale_denom =
      static_cast<unsigned>(ScaleDenominator(cinfo.image_width, cinfo.image_height, options));
  jpeg_calc_output_dimensions(&cinfo);
  const std::size_t outW = cinfo.output_width, outH = cinfo.output_height;
  if (outW == 0 || outH == 0 || outW * outH > JpegMaxPixelBytes / 3)
    FailWith(reinterpret_cast<j_common_ptr>(&cinfo), JERR_IMAGE_TOO_BIG);
  bool allocated = true;
  try {
    picture.Image.Pixels.resize(outW * outH * 3);
    if (cmyk) cmykRow.resize(outW * 4);
  } catch (const std::bad_alloc&) {
    allocated = false;
  }
  if (!allocated) FailWith(reinterpret_cast<j_common_ptr>(&cinfo), JERR_OUT_OF_MEMORY);
  picture.Width = static_cast<int>(cinfo.image_width);
  picture.Height = static_cast<int>(cinfo.image_height);
  picture.Image.Width = static_cast<int>(outW);
  picture.Image.Height = static_cast<int>(outH);
  jpeg_start_decompress(&cinfo);
  std::uint8_t* pixels = picture.Image.Pixels.data();
  while (cinfo.output_scanline < cinfo.output_height) {
    if (cmyk) {
      JSAMPROW row = cmykRow.data();
      jpeg_read_scanlines(&cinfo, &row, 1);
      CmykRowToRgb(row, cinfo.output_width,
                   pixels + std::size_t{cinfo.output_scanline - 1} * outW * 3);
    } else {
      // Up to four rows per call lets the library hand over whole row groups.
      JSAMPROW rows[4];
      const unsigned first = cinfo.output_scanline;
      const unsigned count = std::min<unsigned>(4, cinfo.output_height - first);
      for (unsigned i = 0; i < count; ++i) rows[i] = pixels + std::size_t{first + i} * outW * 3;
      jpeg_read_scanlines(&cinfo, rows, count);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// Compressed output goes into a buffer of our own: the library's memory destination loses its
// buffer when a write is abandoned.
struct TMemoryDestination {
  jpeg_destination_mgr Pub;
  unsigned char* Buffer;
  std::size_t Capacity;
  std::size_t Used;  // bytes complete before Pub.next_output_byte's block
};

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
  dest->Pub.next_output_byte = dest->Buffer;
  dest->Pub.free_in_buffer = dest->Capacity;
}

boolean EmptyDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
  const std::size_t grown = dest->Capacity * 2;
  auto* bigger = static_cast<unsigned char*>(std::realloc(dest->Buffer, grown));
  if (!bigger) FailWith(reinterpret_cast<j_common_ptr>(cinfo), JERR_OUT_OF_MEMORY);
  dest->Buffer = bigger;
  dest->Pub.next_output_byte = bigger + dest->Capacity;  // the whole old buffer is full
  dest->Pub.free_in_buffer = grown - dest->Capacity;
  dest->Capacity = grown;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TMemoryDestination*>(cinfo->dest);
  dest->Used = dest->Capacity - dest->Pub.free_in_buffer;
}

bool EncodeInto(const TRgbImage& image, int quality, TMemoryDestination& dest, char* message) {
  jpeg_compress_struct cinfo;
  TJpegErrorManager err;
  InstallErrorManager(err);
  cinfo.err = &err.Pub;
  if (setjmp(err.Jump)) {
    std::memcpy(message, err.Message, sizeof err.Message);
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  dest.Pub.init_destination = InitDestination;
  dest.Pub.empty_output_buffer = EmptyDestination;
  dest.Pub.term_destination = TermDestination;
  cinfo.dest = &dest.Pub;
  cinfo.image_width = static_cast<JDIMENSION>(image.Width);
  cinfo.image_height = static_cast<JDIMENSION>(image.Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const std::size_t stride = std::size_t(image.Width) * 3;
  // The library only reads the rows it is given.
  auto* pixels = const_cast<JSAMPLE*>(image.Pixels.data());
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[16];
    const unsigned first = cinfo.next_scanline;
    const unsigned count = std::min<unsigned>(16, cinfo.image_height - first);
    for (unsigned i = 0; i < count; ++i) rows[i] = pixels + std::size_t{first + i} * stride;
    jpeg_write_scanlines(&cinfo, rows, count);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

void SetError(std::string* error, const char* text) {
  if (error) *error = text;
}

}  // namespace

std::optional<TJpegPicture> DecodeJpeg(std::string_view bytes, const TJpegDecodeOptions& options,
                                       std::string* error) {
  if (bytes.empty()) {
    SetError(error, "Empty input file");
    return std::nullopt;
  }
  TJpegPicture picture;
  std::vector<JSAMPLE> cmykRow;
  char message[JMSG_LENGTH_MAX] = {};
  if (!DecodeInto(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), options,
                  picture, cmykRow, message)) {
    SetError(error, message);
    return std::nullopt;
  }
  return picture;
}

std::optional<TJpegPicture> DecodeJpegFile(const std::string& path,
                                           const TJpegDecodeOptions& options, std::string* error) {
  // A file larger than the pixels it may decode to is no screenshot.
  const std::optional<std::string> bytes = platform::ReadWholeFile(path, JpegMaxPixelBytes);
  if (!bytes) {
    if (error) *error = "Cannot read " + path;
    return std::nullopt;
  }
  return DecodeJpeg(*bytes, options, error);
}

std::optional<std::string> EncodeJpeg(const TRgbImage& image, int quality, std::string* error) {
  if (image.Width <= 0 || image.Height <= 0 ||
      image.Pixels.size() != std::size_t(image.Width) * std::size_t(image.Height) * 3) {
    SetError(error, "The pixels do not match the picture's size");
    return std::nullopt;
  }
  TMemoryDestination dest{};
  dest.Capacity = std::max<std::size_t>(65536, image.Pixels.size() / 8);
  dest.Buffer = static_cast<unsigned char*>(std::malloc(dest.Capacity));
  if (!dest.Buffer) {
    SetError(error, "Insufficient memory");
    return std::nullopt;
  }
  char message[JMSG_LENGTH_MAX] = {};
  std::optional<std::string> out;
  if (EncodeInto(image, quality, dest, message)) {
    try {
      out.emplace(reinterpret_cast<const char*>(dest.Buffer), dest.Used);
    } catch (const std::bad_alloc&) {
      SetError(error, "Insufficient memory");
    }
  } else {
    SetError(error, message);
  }
  std::free(dest.Buffer);
  return out;
}
