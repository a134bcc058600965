// gen_icon.cpp - draws Kelvor's application icon from the scene's own shapes and colours (a blue
// teapot on the wooden table, the red surface and a light marker in the dark, over the olive
// floor) at 16 to 256 pixels, and writes it as a Windows icon and as PNG files.
//
// Usage: gen_icon <output-dir>
// Writes kelvor.ico (16, 32 and 48 pixels, 32-bit with alpha) and kelvor-<size>.png for 16, 32,
// 48, 64, 128 and 256 pixels and kelvor.svg, the same drawing as scalable vector graphics (the
// desktop's icon theme), into the folder.
//
// Every pixel is the average of a grid of point samples of shapes given in a unit square; the
// tests use only the basic arithmetic operations, so every run on every IEEE platform gives the
// same bytes. The PNG files use stored (uncompressed) deflate blocks, which keeps the writer
// small and its output exactly repeatable.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// The sizes in the Windows icon, and those written as PNG files.
const int kSizes[] = {16, 32, 48};
const int kPngSizes[] = {16, 32, 48, 64, 128, 256};
// Point samples per pixel along each axis.
const int kSamples = 8;

// A colour with coverage: 0..1 per channel, alpha premultiplied.
struct Rgba {
    double r, g, b, a;
};

// An opaque colour from 0..255 channels.
Rgba rgb(int r, int g, int b) {
    return Rgba{r / 255.0, g / 255.0, b / 255.0, 1.0};
}

// Scales a colour's brightness, keeping its alpha.
Rgba shade(const Rgba& c, double k) {
    return Rgba{c.r * k, c.g * k, c.b * k, c.a};
}

// Puts colour `top`, with opacity `alpha`, over `under`.
Rgba over(const Rgba& under, const Rgba& top, double alpha) {
    double k = 1.0 - alpha;
    return Rgba{top.r * alpha + under.r * k, top.g * alpha + under.g * k, top.b * alpha + under.b * k,
                alpha + under.a * k};
}

// Clamps a value to 0..1.
double clamp01(double v) {
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

// True when (x, y) lies inside the ellipse about (cx, cy) with radii rx and ry.
bool inEllipse(double x, double y, double cx, double cy, double rx, double ry) {
    double dx = (x - cx) / rx;
    double dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

// True when (x, y) lies within `width` / 2 of the segment from (x0, y0) to (x1, y1).
bool nearSegment(double x, double y, double x0, double y0, double x1, double y1, double width) {
    double vx = x1 - x0, vy = y1 - y0;
    double t = clamp01(((x - x0) * vx + (y - y0) * vy) / (vx * vx + vy * vy));
    double dx = x - (x0 + t * vx), dy = y - (y0 + t * vy);
    return dx * dx + dy * dy <= width * width / 4;
}

// True when (x, y) lies inside the rectangle from (x0, y0) to (x1, y1).
bool inRect(double x, double y, double x0, double y0, double x1, double y1) {
    return x >= x0 && x < x1 && y >= y0 && y < y1;
}

// True when (x, y) lies inside the square of side 1 with corners rounded to radius r.
bool inRoundedSquare(double x, double y, double r) {
    double cx = x < r ? r : (x > 1 - r ? 1 - r : x);
    double cy = y < r ? r : (y > 1 - r ? 1 - r : y);
    double dx = x - cx, dy = y - cy;
    return x >= 0 && x <= 1 && y >= 0 && y <= 1 && dx * dx + dy * dy <= r * r;
}

// The icon's colour at the point (x, y) of the unit square, y down: the layers painted back to
// front, as the scene is drawn.
Rgba sampleIcon(double x, double y) {
    Rgba c{0, 0, 0, 0};
    if (!inRoundedSquare(x, y, 0.16)) {
        return c;
    }
    // The night sky, and the olive floor below the horizon, darkening towards it (the fog).
    const double horizon = 0.70;
    if (y < horizon) {
        c = rgb(10, 10, 14);
    } else {
        c = shade(rgb(92, 92, 18), 0.45 + 0.55 * (y - horizon) / (1 - horizon));
    }
    // The translucent red surface, a sheet standing on the right, its left edge bowed in.
    double t = (y - 0.10) / 0.70;
    if (t > 0 && t < 1 && x > 0.62 + 0.30 * t * (1 - t) && x < 0.96 - 0.06 * t) {
        c = over(c, rgb(215, 20, 16), 0.75);
    }
    // The white light marker in the sky.
    if (inRect(x, y, 0.14, 0.14, 0.24, 0.24)) {
        c = rgb(240, 240, 240);
    }
    // The table: a golden wooden top and two darker legs.
    const Rgba wood = rgb(201, 158, 66);
    if (inRect(x, y, 0.07, 0.60, 0.83, 0.69)) {
        c = shade(wood, y < 0.645 ? 1.0 : 0.78);
    }
    if (inRect(x, y, 0.12, 0.69, 0.20, 0.93) || inRect(x, y, 0.70, 0.69, 0.78, 0.93)) {
        c = shade(wood, 0.50);
    }
    // The teapot on the table: body, lid and knob, spout and handle, lit from the upper left.
    const Rgba blue = rgb(78, 88, 236);
    const double bx = 0.42, by = 0.47, brx = 0.20, bry = 0.14;
    bool body = inEllipse(x, y, bx, by, brx, bry) && y < 0.60;
    bool lid = inEllipse(x, y, bx, 0.335, 0.10, 0.05) || inEllipse(x, y, bx, 0.28, 0.035, 0.035);
    bool spout =
        nearSegment(x, y, 0.56, 0.53, 0.72, 0.36, 0.065) || nearSegment(x, y, 0.72, 0.36, 0.79, 0.33, 0.05);
    double hx = (x - 0.22) / 0.10, hy = (y - 0.47) / 0.085;
    double hr = hx * hx + hy * hy;
    bool handle = x < 0.25 && hr <= 1.0 && hr >= 0.36;
    if (body || lid || spout || handle) {
        double light = 1.15 - 0.55 * clamp01(((x - bx) / brx + (y - by) / bry + 1.2) / 2.6);
        c = shade(blue, light);
        if (inEllipse(x, y, bx - 0.07, by - 0.05, 0.05, 0.03)) {
            c = rgb(190, 196, 255);
        }
    }
    return c;
}

// Formats a number for the SVG file: fixed, six decimals, the same text on every platform.
std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

// An SVG colour of a colour's channels, clamped to 0..1.
std::string svgColour(const Rgba& c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<unsigned>(clamp01(c.r) * 255 + 0.5),
                  static_cast<unsigned>(clamp01(c.g) * 255 + 0.5),
                  static_cast<unsigned>(clamp01(c.b) * 255 + 0.5));
    return buf;
}

// The icon as a scalable SVG drawing of the same layers as sampleIcon, in the unit square: the
// floor's fog and the teapot's light are linear gradients of the same slopes, the red sheet's
// bowed edge the quadratic Bezier curve that its parabola is.
std::string svgIcon() {
    const Rgba olive = rgb(92, 92, 18), wood = rgb(201, 158, 66), blue = rgb(78, 88, 236);
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 1 1\">\n"
        "<defs>\n<clipPath id=\"tile\"><rect width=\"1\" height=\"1\" rx=\"0.16\"/></clipPath>\n"
        "<clipPath id=\"above\"><rect width=\"1\" height=\"0.6\"/></clipPath>\n"
        "<clipPath id=\"left\"><rect width=\"0.25\" height=\"1\"/></clipPath>\n";
    svg +=
        "<linearGradient id=\"floor\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"0.7\" x2=\"0\" y2=\"1\">"
        "<stop offset=\"0\" stop-color=\"" +
        svgColour(shade(olive, 0.45)) + "\"/><stop offset=\"1\" stop-color=\"" + svgColour(olive) +
        "\"/></linearGradient>\n";
    // The teapot's light: 1.15 - 0.55 s with s = ((x - bx) / brx + (y - by) / bry + 1.2) / 2.6,
    // clamped to 0..1; the gradient runs along s's slope from s = 0 to s = 1.
    const double bx = 0.42, by = 0.47, brx = 0.20, bry = 0.14;
    double gx = 1 / (2.6 * brx), gy = 1 / (2.6 * bry), g2 = gx * gx + gy * gy;
    double s0 = (1.2 / 2.6);  // s at the body's centre
    double x1 = bx - s0 * gx / g2, y1 = by - s0 * gy / g2;
    svg += "<linearGradient id=\"lit\" gradientUnits=\"userSpaceOnUse\" x1=\"" + num(x1) + "\" y1=\"" +
           num(y1) + "\" x2=\"" + num(x1 + gx / g2) + "\" y2=\"" + num(y1 + gy / g2) + "\">";
    // Stops at both ends and where a channel stops being clamped, so the ramp is followed exactly.
    std::vector<double> stops = {0.0};
    for (double channel : {blue.r, blue.g, blue.b}) {
        double at = (1.15 - 1.0 / channel) / 0.55;
        if (at > 0 && at < 1) {
            stops.push_back(at);
        }
    }
    stops.push_back(1.0);
    for (size_t i = 1; i < stops.size(); ++i) {
        for (size_t j = i; j > 0 && stops[j] < stops[j - 1]; --j) {
            std::swap(stops[j], stops[j - 1]);
        }
    }
    for (double at : stops) {
        svg += "<stop offset=\"" + num(at) + "\" stop-color=\"" + svgColour(shade(blue, 1.15 - 0.55 * at)) +
               "\"/>";
    }
    svg += "</linearGradient>\n</defs>\n<g clip-path=\"url(#tile)\">\n";
    svg += "<rect width=\"1\" height=\"0.7\" fill=\"" + svgColour(rgb(10, 10, 14)) + "\"/>\n";
    svg += "<rect y=\"0.7\" width=\"1\" height=\"0.3\" fill=\"url(#floor)\"/>\n";
    svg += "<path d=\"M0.96 0.1 L0.62 0.1 Q0.77 0.45 0.62 0.8 L0.9 0.8 Z\" fill=\"" +
           svgColour(rgb(215, 20, 16)) + "\" fill-opacity=\"0.75\"/>\n";
    svg += "<rect x=\"0.14\" y=\"0.14\" width=\"0.1\" height=\"0.1\" fill=\"" +
           svgColour(rgb(240, 240, 240)) + "\"/>\n";
    svg += "<rect x=\"0.07\" y=\"0.6\" width=\"0.76\" height=\"0.045\" fill=\"" + svgColour(wood) + "\"/>\n";
    svg += "<rect x=\"0.07\" y=\"0.645\" width=\"0.76\" height=\"0.045\" fill=\"" +
           svgColour(shade(wood, 0.78)) + "\"/>\n";
    svg += "<g fill=\"" + svgColour(shade(wood, 0.5)) +
           "\"><rect x=\"0.12\" y=\"0.69\" width=\"0.08\" height=\"0.24\"/>"
           "<rect x=\"0.7\" y=\"0.69\" width=\"0.08\" height=\"0.24\"/></g>\n";
    svg +=
        "<g fill=\"url(#lit)\" stroke=\"url(#lit)\" stroke-linecap=\"round\">\n"
        "<ellipse cx=\"0.42\" cy=\"0.47\" rx=\"0.2\" ry=\"0.14\" stroke=\"none\" "
        "clip-path=\"url(#above)\"/>\n"
        "<ellipse cx=\"0.42\" cy=\"0.335\" rx=\"0.1\" ry=\"0.05\" stroke=\"none\"/>\n"
        "<circle cx=\"0.42\" cy=\"0.28\" r=\"0.035\" stroke=\"none\"/>\n"
        "<line x1=\"0.56\" y1=\"0.53\" x2=\"0.72\" y2=\"0.36\" stroke-width=\"0.065\"/>\n"
        "<line x1=\"0.72\" y1=\"0.36\" x2=\"0.79\" y2=\"0.33\" stroke-width=\"0.05\"/>\n"
        "<path d=\"M0.12 0.47 A0.1 0.085 0 1 0 0.32 0.47 A0.1 0.085 0 1 0 0.12 0.47 Z "
        "M0.16 0.47 A0.06 0.051 0 1 1 0.28 0.47 A0.06 0.051 0 1 1 0.16 0.47 Z\" fill-rule=\"evenodd\" "
        "stroke=\"none\" clip-path=\"url(#left)\"/>\n</g>\n";
    svg += "<ellipse cx=\"0.35\" cy=\"0.42\" rx=\"0.05\" ry=\"0.03\" fill=\"" +
           svgColour(rgb(190, 196, 255)) + "\"/>\n";
    svg += "</g>\n</svg>\n";
    return svg;
}

// Draws the icon at size by size pixels: RGBA, 8 bits a channel, not premultiplied, top row first.
std::vector<uint8_t> drawIcon(int size) {
    std::vector<uint8_t> pixels;
    pixels.reserve(static_cast<size_t>(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Rgba sum{0, 0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    double x = (px + (sx + 0.5) / kSamples) / size;
                    double y = (py + (sy + 0.5) / kSamples) / size;
                    Rgba s = sampleIcon(x, y);
                    sum.r += s.r * s.a;
                    sum.g += s.g * s.a;
                    sum.b += s.b * s.a;
                    sum.a += s.a;
                }
            }
            double n = kSamples * kSamples;
            double a = sum.a / n;
            double channels[4] = {a > 0 ? sum.r / sum.a : 0, a > 0 ? sum.g / sum.a : 0,
                                  a > 0 ? sum.b / sum.a : 0, a};
            for (double v : channels) {
                pixels.push_back(static_cast<uint8_t>(clamp01(v) * 255 + 0.5));
            }
        }
    }
    return pixels;
}

// Appends a little-endian 16- or 32-bit value.
void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

// Appends a big-endian 32-bit value.
void put32be(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((v >> shift) & 0xff);
    }
}

// The CRC-32 of PNG chunks (polynomial 0xedb88320).
uint32_t crc32(const std::string& data) {
    uint32_t crc = 0xffffffffU;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xedb88320U : crc >> 1;
        }
    }
    return crc ^ 0xffffffffU;
}

// Appends one PNG chunk: length, type, data and the CRC over type and data.
void putChunk(std::string& out, const char* type, const std::string& data) {
    put32be(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    put32be(out, crc32(body));
}

// A PNG file of the RGBA pixels (top row first): a zlib stream of stored deflate blocks.
std::string encodePng(const std::vector<uint8_t>& rgba, int size) {
    std::string raw;
    for (int y = 0; y < size; ++y) {
        raw += '\0';  // filter type None
        raw.append(reinterpret_cast<const char*>(&rgba[static_cast<size_t>(y) * size * 4]),
                   static_cast<size_t>(size) * 4);
    }
    std::string zlib = "\x78\x01";
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        zlib += static_cast<char>(at + n == raw.size() ? 1 : 0);
        put16(zlib, static_cast<uint32_t>(n));
        put16(zlib, static_cast<uint32_t>(~n & 0xffff));
        zlib.append(raw, at, n);
    }
    uint32_t s1 = 1, s2 = 0;
    for (unsigned char byte : raw) {
        s1 = (s1 + byte) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    put32be(zlib, (s2 << 16) | s1);

    std::string header;
    put32be(header, static_cast<uint32_t>(size));
    put32be(header, static_cast<uint32_t>(size));
    header += "\x08\x06";                      // 8 bits a channel, RGBA
    header += std::string("\x00\x00\x00", 3);  // deflate, adaptive filtering, no interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlib);
    putChunk(png, "IEND", "");
    return png;
}

// One icon image as a Windows DIB: the header, BGRA rows bottom first, then the 1-bit mask
// (set where the pixel is fully transparent), its rows padded to 32 bits.
std::string encodeDib(const std::vector<uint8_t>& rgba, int size) {
    int maskStride = ((size + 31) / 32) * 4;
    std::string dib;
    put32(dib, 40);                               // biSize
    put32(dib, static_cast<uint32_t>(size));      // biWidth
    put32(dib, static_cast<uint32_t>(size * 2));  // biHeight: colour and mask together
    put16(dib, 1);                                // biPlanes
    put16(dib, 32);                               // biBitCount
    put32(dib, 0);                                // biCompression: BI_RGB
    put32(dib, static_cast<uint32_t>(size * size * 4 + maskStride * size));
    put32(dib, 0);
    put32(dib, 0);
    put32(dib, 0);
    put32(dib, 0);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
            dib += static_cast<char>(p[2]);
            dib += static_cast<char>(p[1]);
            dib += static_cast<char>(p[0]);
            dib += static_cast<char>(p[3]);
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        std::string row(static_cast<size_t>(maskStride), '\0');
        for (int x = 0; x < size; ++x) {
            if (rgba[(static_cast<size_t>(y) * size + x) * 4 + 3] == 0) {
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        dib += row;
    }
    return dib;
}

// A .ico file holding the given images, smallest first.
std::string encodeIco(const std::vector<std::string>& dibs) {
    std::string ico;
    put16(ico, 0);  // reserved
    put16(ico, 1);  // type: icon
    put16(ico, static_cast<uint32_t>(dibs.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * dibs.size());
    for (size_t i = 0; i < dibs.size(); ++i) {
        ico += static_cast<char>(kSizes[i]);  // width
        ico += static_cast<char>(kSizes[i]);  // height
        ico += '\0';                          // no palette
        ico += '\0';                          // reserved
        put16(ico, 1);                        // planes
        put16(ico, 32);                       // bits a pixel
        put32(ico, static_cast<uint32_t>(dibs[i].size()));
        put32(ico, offset);
        offset += static_cast<uint32_t>(dibs[i].size());
    }
    for (const std::string& dib : dibs) {
        ico += dib;
    }
    return ico;
}

// Writes bytes to a file; false when it cannot.
bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    file.close();
    if (!file) {
        std::fprintf(stderr, "gen_icon: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_icon <output-dir>\n");
        return 2;
    }
    std::string dir = argv[1];
    std::vector<std::string> dibs;
    for (int size : kPngSizes) {
        std::vector<uint8_t> pixels = drawIcon(size);
        if (!writeFile(dir + "/kelvor-" + std::to_string(size) + ".png", encodePng(pixels, size))) {
            return 1;
        }
        for (int icoSize : kSizes) {
            if (icoSize == size) {
                dibs.push_back(encodeDib(pixels, size));
            }
        }
    }
    return writeFile(dir + "/kelvor.ico", encodeIco(dibs)) && writeFile(dir + "/kelvor.svg", svgIcon()) ? 0
                                                                                                        : 1;
}
