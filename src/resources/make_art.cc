// Draws the Windows program's artwork at build time: the application icon (brisko.ico, 16, 32
// and 48 pixels, 32-bit with alpha) and the about box logo (logo.bmp, 368 x 75, 24 bits per
// pixel). Usage: make_art OUTPUT_FOLDER
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Colour {
  double r, g, b, a;
};

Colour mix(Colour x, Colour y, double t) {
  return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t,
          x.a + (y.a - x.a) * t};
}

// An image with straight (not premultiplied) alpha, rows from the top.
struct Image {
  int width, height;
  std::vector<Colour> pixels;
  Image(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w * h)) {}
  Colour& at(int x, int y) { return pixels[static_cast<std::size_t>(y * width + x)]; }
  // Paints colour over a pixel with coverage c (0 to 1).
  void blend(int x, int y, Colour colour, double c) {
    if (x < 0 || y < 0 || x >= width || y >= height || c <= 0) return;
    Colour& p = at(x, y);
    const double a = colour.a * std::min(c, 1.0);
    const double out = a + p.a * (1 - a);
    if (out <= 0) return;
    p = {(colour.r * a + p.r * p.a * (1 - a)) / out, (colour.g * a + p.g * p.a * (1 - a)) / out,
         (colour.b * a + p.b * p.a * (1 - a)) / out, out};
  }
};

// A 5 x 7 pixel font for the few characters the artwork uses; each row is 5 bits, the highest
// bit leftmost.
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'b', {0x10, 0x10, 0x1E, 0x11, 0x11, 0x11, 0x1E}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'s', {0x00, 0x00, 0x0F, 0x10, 0x0E, 0x01, 0x1E}},
    {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
    {'j', {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C}},
    {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'>', {0x10, 0x08, 0x04, 0x02, 0x04, 0x08, 0x10}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* glyphFor(char c) {
  for (const Glyph& g : kFont) {
    if (g.c == c) return &g;
  }
  return nullptr;
}

// Draws text with each font pixel as a square of the given size; returns the width. The
// coverage of all squares is summed first, so neighbouring squares join without seams.
int drawText(Image& image, std::string_view text, double x0, double y0, double pixel,
             Colour colour) {
  std::vector<double> coverage(image.pixels.size(), 0.0);
  double x = x0;
  for (char c : text) {
    const Glyph* g = glyphFor(c);
    if (g == nullptr) continue;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (!((g->rows[row] >> (4 - col)) & 1)) continue;
        const double left = x + col * pixel, top = y0 + row * pixel;
        for (int py = static_cast<int>(top); py <= static_cast<int>(top + pixel); ++py) {
          for (int px = static_cast<int>(left); px <= static_cast<int>(left + pixel); ++px) {
            if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
            const double cx =
                std::max(0.0, std::min(px + 1.0, left + pixel) - std::max(px * 1.0, left));
            const double cy =
                std::max(0.0, std::min(py + 1.0, top + pixel) - std::max(py * 1.0, top));
            coverage[static_cast<std::size_t>(py * image.width + px)] += cx * cy;
          }
        }
      }
    }
    x += 6 * pixel;
  }
  for (int py = 0; py < image.height; ++py) {
    for (int px = 0; px < image.width; ++px) {
      image.blend(px, py, colour, coverage[static_cast<std::size_t>(py * image.width + px)]);
    }
  }
  return static_cast<int>(x - x0);
}

double textWidth(std::string_view text, double pixel) {
  return static_cast<double>(text.size()) * 6 * pixel - pixel;
}

const Colour kDeepBlue{0.05, 0.18, 0.45, 1}, kBlue{0.12, 0.42, 0.85, 1}, kWhite{1, 1, 1, 1},
    kAmber{1.0, 0.72, 0.15, 1};

// A rounded square in blue with a white "b" and an amber arrow underneath.
Image drawIcon(int size) {
  Image image(size, size);
  const double radius = size * 0.2, s = size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      // Distance outside the rounded square, sampled at the pixel centre.
      const double px = x + 0.5, py = y + 0.5;
      const double dx = std::max({radius - px, px - (s - radius), 0.0});
      const double dy = std::max({radius - py, py - (s - radius), 0.0});
      const double outside = std::sqrt(dx * dx + dy * dy) - radius;
      const double coverage = std::clamp(0.5 - outside, 0.0, 1.0);
      image.blend(x, y, mix(kBlue, kDeepBlue, py / s), coverage);
    }
  }
  const double pixel = s / 11.0;
  drawText(image, "b", (s - textWidth("b", pixel)) / 2, s * 0.12, pixel, kWhite);
  const double arrowY = s * 0.84;
  for (int x = static_cast<int>(s * 0.25); x < static_cast<int>(s * 0.75); ++x) {
    for (int y = static_cast<int>(arrowY - s * 0.04); y <= static_cast<int>(arrowY + s * 0.03);
         ++y) {
      image.blend(x, y, kAmber, 1);
    }
  }
  return image;
}

Image drawLogo() {
  Image image(368, 75);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const double t = 0.6 * x / image.width + 0.4 * y / image.height;
      image.at(x, y) = mix(kDeepBlue, kBlue, t);
    }
  }
  const Image icon = drawIcon(56);
  for (int y = 0; y < icon.height; ++y) {
    for (int x = 0; x < icon.width; ++x) {
      Colour c = icon.pixels[static_cast<std::size_t>(y * icon.width + x)];
      const double a = c.a;
      c.a = 1;
      image.blend(10 + x, 10 + y, c, a);
    }
  }
  drawText(image, "brisko", 80, 9, 5, kWhite);
  drawText(image, ".pb --> .obj / .lib", 82, 52, 2, kAmber);
  return image;
}

void put16(std::string& out, unsigned v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, unsigned v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
unsigned char channel(double v) {
  return static_cast<unsigned char>(std::clamp(std::lround(v * 255), 0L, 255L));
}

// A BITMAPINFOHEADER image as an icon stores it: 32-bit BGRA rows from the bottom, then the
// 1-bit AND mask (all zero: the alpha channel decides), each row padded to 4 bytes.
std::string iconImage(const Image& image) {
  std::string out;
  put32(out, 40);
  put32(out, static_cast<unsigned>(image.width));
  put32(out, static_cast<unsigned>(image.height * 2));
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);
  const unsigned maskRow = static_cast<unsigned>((image.width + 31) / 32 * 4);
  put32(out, static_cast<unsigned>(image.width * image.height * 4) + maskRow * image.height);
  for (int i = 0; i < 4; ++i) put32(out, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    for (int x = 0; x < image.width; ++x) {
      const Colour& c = image.pixels[static_cast<std::size_t>(y * image.width + x)];
      out += static_cast<char>(channel(c.b));
      out += static_cast<char>(channel(c.g));
      out += static_cast<char>(channel(c.r));
      out += static_cast<char>(channel(c.a));
    }
  }
  out.append(maskRow * static_cast<unsigned>(image.height), '\0');
  return out;
}

std::string iconFile(const std::vector<Image>& images) {
  std::string out;
  put16(out, 0);
  put16(out, 1);
  put16(out, static_cast<unsigned>(images.size()));
  std::vector<std::string> data;
  for (const Image& image : images) data.push_back(iconImage(image));
  unsigned offset = 6 + 16 * static_cast<unsigned>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out += static_cast<char>(images[i].width);
    out += static_cast<char>(images[i].height);
    out += '\0';  // no palette
    out += '\0';
    put16(out, 1);
    put16(out, 32);
    put32(out, static_cast<unsigned>(data[i].size()));
    put32(out, offset);
    offset += static_cast<unsigned>(data[i].size());
  }
  for (const std::string& d : data) out += d;
  return out;
}

std::string bitmapFile(const Image& image) {
  const unsigned row = static_cast<unsigned>((image.width * 3 + 3) / 4 * 4);
  const unsigned size = row * static_cast<unsigned>(image.height);
  std::string out = "BM";
  put32(out, 54 + size);
  put32(out, 0);
  put32(out, 54);
  put32(out, 40);
  put32(out, static_cast<unsigned>(image.width));
  put32(out, static_cast<unsigned>(image.height));
  put16(out, 1);
  put16(out, 24);
  put32(out, 0);
  put32(out, size);
  put32(out, 2835);  // 72 dots per inch
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    std::string line;
    for (int x = 0; x < image.width; ++x) {
      const Colour& c = image.pixels[static_cast<std::size_t>(y * image.width + x)];
      line += static_cast<char>(channel(c.b));
      line += static_cast<char>(channel(c.g));
      line += static_cast<char>(channel(c.r));
    }
    line.resize(row, '\0');
    out += line;
  }
  return out;
}

bool writeFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_art OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  if (!writeFile(folder + "brisko.ico", iconFile({drawIcon(16), drawIcon(32), drawIcon(48)})) ||
      !writeFile(folder + "logo.bmp", bitmapFile(drawLogo()))) {
    std::fprintf(stderr, "make_art: cannot write to %s\n", argv[1]);
    return 1;
  }
  return 0;
}
