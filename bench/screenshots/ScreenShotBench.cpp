// Decoding and encoding a 1920 × 1080 screenshot and converting a 1920 × 1080 256-colour PCX,
// each beside the tool that does the same from the command line, on the same files in one run.
// The tools' figures include starting their process, which is what a user of them pays too.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchTools.h"
#include "platform/Files.h"
#include "screenshots/JpegCodec.h"
#include "screenshots/PcxDecoder.h"

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;

// A picture with the texture of a game screen: gradients, hard-edged shapes and some noise.
TRgbImage SyntheticScreen() {
  TRgbImage img{Width, Height, std::vector<std::uint8_t>(std::size_t(Width) * Height * 3)};
  std::uint32_t seed = 12345;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 27) - 16;
      std::uint8_t* p = &img.Pixels[(std::size_t(y) * Width + x) * 3];
      const bool block = ((x / 96) + (y / 72)) % 3 == 0;
      const int r = block ? 40 : x * 255 / Width;
      const int g = block ? 200 : y * 255 / Height;
      const int b = ((x ^ y) & 0xFF);
      p[0] = static_cast<std::uint8_t>(std::clamp(r + noise, 0, 255));
      p[1] = static_cast<std::uint8_t>(std::clamp(g + noise, 0, 255));
      p[2] = static_cast<std::uint8_t>(std::clamp(b + noise, 0, 255));
    }
  return img;
}

std::string Ppm(const TRgbImage& img) {
  std::string out =
      "P6\n" + std::to_string(img.Width) + " " + std::to_string(img.Height) + "\n255\n";
  out.append(reinterpret_cast<const char*>(img.Pixels.data()), img.Pixels.size());
  return out;
}

// A 256-colour PCX of a screen with large flat areas and detailed strips, run-length encoded.
std::string SyntheticPcx() {
  std::string pcx(128, '\0');
  pcx[0] = 10;
  pcx[1] = 5;
  pcx[2] = 1;
  pcx[3] = 8;
  const auto le16 = [&](int at, int v) {
    pcx[at] = static_cast<char>(v & 0xFF);
    pcx[at + 1] = static_cast<char>(v >> 8);
  };
  le16(8, Width - 1);
  le16(10, Height - 1);
  pcx[65] = 1;
  le16(66, Width);
  std::vector<std::uint8_t> line(Width);
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x)
      line[x] =
          static_cast<std::uint8_t>((y / 40) % 2 ? (x / 64) * 7 + y / 40 : (x * 3 + y) & 0xFF);
    for (int x = 0; x < Width;) {
      int run = 1;
      while (x + run < Width && run < 63 && line[x + run] == line[x]) ++run;
      if (run > 1 || line[x] >= 0xC0) pcx += static_cast<char>(0xC0 | run);
      pcx += static_cast<char>(line[x]);
      x += run;
    }
  }
  pcx += '\x0C';
  for (int i = 0; i < 256; ++i) {
    pcx += static_cast<char>(i);
    pcx += static_cast<char>(255 - i);
    pcx += static_cast<char>((i * 7) & 0xFF);
  }
  return pcx;
}

struct TFixture {
  std::string Dir, Jpeg, Ppm, Pcx, Scratch;
  TRgbImage Picture;

  TFixture() {
    char pattern[] = "/tmp/startvelk-bench-XXXXXX";
    Dir = ::mkdtemp(pattern);
    Picture = SyntheticScreen();
    Jpeg = Dir + "/screen.jpg";
    Ppm = Dir + "/screen.ppm";
    Pcx = Dir + "/screen.pcx";
    Scratch = Dir + "/out";
    std::string error;
    platform::WriteFileAtomically(Jpeg, EncodeJpeg(Picture).value(), &error);
    platform::WriteFileAtomically(Ppm, ::Ppm(Picture), &error);
    platform::WriteFileAtomically(Pcx, SyntheticPcx(), &error);
  }
  ~TFixture() {
    for (const std::string& f : {Jpeg, Ppm, Pcx, Scratch + ".jpg", Scratch + ".bmp"})
      std::remove(f.c_str());
    ::rmdir(Dir.c_str());
  }
};

TFixture& Fixture() {
  static TFixture fixture;
  return fixture;
}

// The machine may be shared: besides wall time, each tool benchmark reports the tool's own CPU
// time per run ("tool_cpu"), to set beside our CPU column.
void ReportToolCpu(benchmark::State& state, double cpuSeconds) {
  state.counters["tool_cpu_ms"] =
      benchmark::Counter(cpuSeconds * 1e3 / static_cast<double>(state.iterations()));
}

// A plain write, as the tools do theirs (captures go through the atomic write, which also syncs).
bool WriteOut(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::string ConvertTool() {
  return platform::FileExists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
}

void BM_DecodeJpeg_StartVELK(benchmark::State& state) {
  const TFixture& f = Fixture();
  for (auto _ : state) {
    std::optional<TJpegPicture> picture = DecodeJpegFile(f.Jpeg);
    if (!picture) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(picture);
  }
}

void BM_DecodeJpeg_djpeg(benchmark::State& state) {
  const TFixture& f = Fixture();
  double cpu = 0;
  for (auto _ : state)
    if (!RunTool({"djpeg", "-outfile", "/dev/null", f.Jpeg}, &cpu))
      state.SkipWithError("djpeg failed");
  ReportToolCpu(state, cpu);
}

void BM_EncodeJpeg_StartVELK(benchmark::State& state) {
  const TFixture& f = Fixture();
  std::string error;
  for (auto _ : state) {
    const std::optional<std::string> jpeg = EncodeJpeg(f.Picture, 90, &error);
    if (!jpeg || !WriteOut(f.Scratch + ".jpg", *jpeg)) state.SkipWithError("encoding failed");
  }
}

void BM_EncodeJpeg_cjpeg(benchmark::State& state) {
  const TFixture& f = Fixture();
  double cpu = 0;
  for (auto _ : state)
    if (!RunTool({"cjpeg", "-quality", "90", "-outfile", f.Scratch + ".jpg", f.Ppm}, &cpu))
      state.SkipWithError("cjpeg failed");
  ReportToolCpu(state, cpu);
}

void BM_PcxToBmp_StartVELK(benchmark::State& state) {
  const TFixture& f = Fixture();
  for (auto _ : state) {
    const std::optional<std::string> pcx = platform::ReadWholeFile(f.Pcx);
    const std::optional<std::string> bmp = pcx ? ConvertPcxToBmp(*pcx) : std::nullopt;
    if (!bmp || !WriteOut(f.Scratch + ".bmp", *bmp)) state.SkipWithError("conversion failed");
  }
}

void BM_PcxToBmp_convert(benchmark::State& state) {
  const TFixture& f = Fixture();
  const std::string tool = ConvertTool();
  double cpu = 0;
  for (auto _ : state)
    if (!RunTool({tool, f.Pcx, "BMP3:" + f.Scratch + ".bmp"}, &cpu))
      state.SkipWithError("convert failed");
  ReportToolCpu(state, cpu);
}

// On a shared machine the fastest repetition is the one least disturbed.
double Fastest(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

#define SCREENSHOT_BENCHMARK(fn) \
  BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", Fastest)

SCREENSHOT_BENCHMARK(BM_DecodeJpeg_StartVELK);
SCREENSHOT_BENCHMARK(BM_DecodeJpeg_djpeg);
SCREENSHOT_BENCHMARK(BM_EncodeJpeg_StartVELK);
SCREENSHOT_BENCHMARK(BM_EncodeJpeg_cjpeg);
SCREENSHOT_BENCHMARK(BM_PcxToBmp_StartVELK);
SCREENSHOT_BENCHMARK(BM_PcxToBmp_convert);

}  // namespace

BENCHMARK_MAIN();
