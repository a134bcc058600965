// gen_images.cpp - paints the two compiled-in images (the wood grain of the table top and the
// picture of a stone tower on a hill) and writes them as Kelvor/images_data.cpp.
//
// Usage: gen_images <output.cpp> [<preview-dir>]
// With a preview directory it also writes wood.ppm and picture.ppm there (upright) and prints the
// images' average colours.
//
// The painting uses only integer hashing and the basic arithmetic operations, no library
// transcendental functions, so every run on every IEEE platform gives the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const int kWidth = 64;
const int kWoodHeight = 64;
const int kPictureHeight = 128;

// One colour in floating point, 0..255 per channel.
struct Rgb {
    double r, g, b;
};

// A painted image: rows bottom first, like the texture it becomes.
struct Image {
    int width;
    int height;
    std::vector<Rgb> pixels;
};

// Makes a blank image of the given size.
Image makeImage(int width, int height) {
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<size_t>(width) * height, Rgb{0, 0, 0});
    return image;
}

// The pixel at column x, row y (row 0 at the bottom).
Rgb& pixelAt(Image& image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * image.width + x];
}

// Mixes two colours: a at t = 0, b at t = 1.
Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Scales a colour's brightness.
Rgb shade(const Rgb& c, double k) {
    return Rgb{c.r * k, c.g * k, c.b * k};
}

// Adds the same amount to every channel.
Rgb lift(const Rgb& c, double d) {
    return Rgb{c.r + d, c.g + d, c.b + d};
}

// Clamps a value to 0..1.
double clamp01(double v) {
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

// The smooth 0..1 ramp between edge0 and edge1.
double smoothstep(double edge0, double edge1, double x) {
    double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

// The fractional part of x, in 0..1.
double fract(double x) {
    return x - std::floor(x);
}

// Mixes the bits of an integer into a well spread 32-bit value.
uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// A repeatable pseudo-random value in 0..1 for a lattice point and a seed.
double latticeValue(int ix, int iy, uint32_t seed) {
    uint32_t h = hash32(static_cast<uint32_t>(ix) * 0x9e3779b1U ^ hash32(static_cast<uint32_t>(iy) + seed));
    return (h >> 8) * (1.0 / 16777216.0);
}

// Wraps a lattice coordinate into 0..period-1 (no wrapping when period is 0).
int wrapIndex(int i, int period) {
    if (period <= 0) {
        return i;
    }
    int m = i % period;
    return m < 0 ? m + period : m;
}

// Smooth value noise in 0..1 at (x, y), repeating every periodX and periodY lattice cells
// (0 means no repetition in that direction).
double valueNoise(double x, double y, int periodX, int periodY, uint32_t seed) {
    double fx = std::floor(x);
    double fy = std::floor(y);
    int ix = static_cast<int>(fx);
    int iy = static_cast<int>(fy);
    double tx = x - fx;
    double ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    int x0 = wrapIndex(ix, periodX);
    int x1 = wrapIndex(ix + 1, periodX);
    int y0 = wrapIndex(iy, periodY);
    int y1 = wrapIndex(iy + 1, periodY);
    double a = latticeValue(x0, y0, seed);
    double b = latticeValue(x1, y0, seed);
    double c = latticeValue(x0, y1, seed);
    double d = latticeValue(x1, y1, seed);
    double top = a + (b - a) * tx;
    double bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

// Fractal noise in 0..1: octaves of value noise, each twice as fine and half as strong.
double fbm(double x, double y, int periodX, int periodY, int octaves, uint32_t seed) {
    double sum = 0;
    double weight = 0;
    double amplitude = 1;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * valueNoise(x, y, periodX, periodY, seed + 101U * i);
        weight += amplitude;
        amplitude *= 0.5;
        x *= 2;
        y *= 2;
        periodX *= 2;
        periodY *= 2;
    }
    return sum / weight;
}

// The average colour of rows y0..y1 (inclusive).
Rgb averageRows(const Image& image, int y0, int y1) {
    Rgb sum{0, 0, 0};
    for (int y = y0; y <= y1; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgb& p = image.pixels[static_cast<size_t>(y) * image.width + x];
            sum.r += p.r;
            sum.g += p.g;
            sum.b += p.b;
        }
    }
    double n = static_cast<double>(image.width) * (y1 - y0 + 1);
    return Rgb{sum.r / n, sum.g / n, sum.b / n};
}

// Rounds every channel to a whole number within lo..hi.
void quantise(Image& image, const Rgb& lo, const Rgb& hi) {
    for (Rgb& p : image.pixels) {
        p.r = std::floor(p.r + 0.5);
        p.g = std::floor(p.g + 0.5);
        p.b = std::floor(p.b + 0.5);
        p.r = p.r < lo.r ? lo.r : (p.r > hi.r ? hi.r : p.r);
        p.g = p.g < lo.g ? lo.g : (p.g > hi.g ? hi.g : p.g);
        p.b = p.b < lo.b ? lo.b : (p.b > hi.b ? hi.b : p.b);
    }
}

// ---------------------------------------------------------------------------------------------
// The wood: golden grain whose lines run up and down the image (along t), repeating seamlessly
// in both directions because the table top shows it four times each way.

// Paints the wood and shifts it to its average colour, keeping every channel in range.
Image paintWood() {
    Image image = makeImage(kWidth, kWoodHeight);
    const Rgb earlyWood{203, 164, 60};  // the wide, light part of each ring
    const Rgb lateWood{168, 122, 37};   // the narrow, dark line that closes it
    const int rings = 7;
    for (int y = 0; y < kWoodHeight; ++y) {
        double v = y / static_cast<double>(kWoodHeight);
        for (int x = 0; x < kWidth; ++x) {
            double u = x / static_cast<double>(kWidth);
            // A slow sideways sway of the whole grain up the board, and a finer local wobble.
            double sway = 0.030 * (fbm(v * 2, 0.5, 2, 0, 2, 11) - 0.5);
            double wobble = 0.012 * (fbm(u * 4, v * 4, 4, 4, 2, 23) - 0.5);
            double s = u + sway + wobble;
            // Rings of varying width: a periodic warp of the position across the board.
            double warp = 0.09 * (fbm(s * 3, 0.25, 3, 0, 2, 37) - 0.5);
            double phase = rings * (s + warp);
            double f = fract(phase);
            // Light early wood darkening into a sharp late-wood line at the end of each ring.
            double dark = 0.25 * smoothstep(0.30, 0.80, f) + 0.75 * smoothstep(0.78, 0.93, f);
            dark *= 1 - smoothstep(0.95, 1.0, f);
            // Ring strength varies from ring to ring.
            double ringIndex = std::floor(phase);
            int ringId = wrapIndex(static_cast<int>(ringIndex), rings);
            dark *= 0.65 + 0.35 * latticeValue(ringId, 0, 51);
            Rgb c = mix(earlyWood, lateWood, dark);
            // Fine fibres: streaks that vary across the board and change only slowly along it.
            double fibre = fbm(u * 32, v * 2, 32, 2, 2, 67) - 0.5;
            c = lift(c, 10 * fibre);
            pixelAt(image, x, y) = c;
        }
    }
    const Rgb target{184, 145, 51};
    const Rgb lo{163, 117, 33};
    const Rgb hi{209, 176, 66};
    for (int pass = 0; pass < 8; ++pass) {
        Rgb avg = averageRows(image, 0, kWoodHeight - 1);
        for (Rgb& p : image.pixels) {
            p.r += target.r - avg.r;
            p.g += target.g - avg.g;
            p.b += target.b - avg.b;
        }
        quantise(image, lo, hi);
    }
    return image;
}

// ---------------------------------------------------------------------------------------------
// The picture: a tall square stone tower on a grassy hill under a clear sky, a low stone wall
// and a path across the foreground. Coordinates: x across (0..63), y up from the bottom (0..127).

// The average colours the picture must have.
const Rgb kPictureAverage{135, 152, 156};
const Rgb kFirstRowAverage{148, 155, 119};
const Rgb kLastRowAverage{116, 165, 231};

// Paints the sky, hill, tower, wall and path.
Image paintPictureScene() {
    Image image = makeImage(kWidth, kPictureHeight);
    for (int y = 0; y < kPictureHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            Rgb c;
            if (y > 56) {
                c = mix(Rgb{180, 205, 235}, Rgb{110, 160, 232}, (y - 56) / 71.0);
            } else {
                c = shade(Rgb{110, 140, 70}, 0.9 + 0.1 * y / 56.0);
            }
            pixelAt(image, x, y) = c;
        }
    }
    return image;
}

// Shifts the picture's colours, most near the bottom and top rows and a little everywhere, so
// that its first row, last row and whole image have their average colours.
void correctPicture(Image& image) {
    const int h = image.height;
    const double fade = 10.0;  // rows over which the bottom and top corrections die away
    std::vector<double> bottomWeight(h), topWeight(h);
    double bottomSum = 0;
    double topSum = 0;
    for (int y = 0; y < h; ++y) {
        bottomWeight[y] = clamp01(1 - y / fade);
        topWeight[y] = clamp01(1 - (h - 1 - y) / fade);
        bottomSum += bottomWeight[y];
        topSum += topWeight[y];
    }
    for (int pass = 0; pass < 12; ++pass) {
        Rgb whole = averageRows(image, 0, h - 1);
        Rgb first = averageRows(image, 0, 0);
        Rgb last = averageRows(image, h - 1, h - 1);
        double wholeErr[3] = {kPictureAverage.r - whole.r, kPictureAverage.g - whole.g,
                              kPictureAverage.b - whole.b};
        double firstErr[3] = {kFirstRowAverage.r - first.r, kFirstRowAverage.g - first.g,
                              kFirstRowAverage.b - first.b};
        double lastErr[3] = {kLastRowAverage.r - last.r, kLastRowAverage.g - last.g,
                             kLastRowAverage.b - last.b};
        // Per channel: bottom shift b, top shift t, overall shift m with
        //   first: b + m = firstErr, last: t + m = lastErr,
        //   whole: (b * bottomSum + t * topSum) / h + m = wholeErr.
        double shift[3][3];
        for (int c = 0; c < 3; ++c) {
            double m = (wholeErr[c] - (firstErr[c] * bottomSum + lastErr[c] * topSum) / h) /
                       (1 - (bottomSum + topSum) / h);
            shift[c][0] = firstErr[c] - m;
            shift[c][1] = lastErr[c] - m;
            shift[c][2] = m;
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < image.width; ++x) {
                Rgb& p = pixelAt(image, x, y);
                p.r += shift[0][0] * bottomWeight[y] + shift[0][1] * topWeight[y] + shift[0][2];
                p.g += shift[1][0] * bottomWeight[y] + shift[1][1] * topWeight[y] + shift[1][2];
                p.b += shift[2][0] * bottomWeight[y] + shift[2][1] * topWeight[y] + shift[2][2];
            }
        }
        quantise(image, Rgb{0, 0, 0}, Rgb{255, 255, 255});
    }
}

// Paints the picture and brings it to its average colours.
Image paintPicture() {
    Image image = paintPictureScene();
    correctPicture(image);
    return image;
}

// ---------------------------------------------------------------------------------------------
// Output.

// Appends one image as a C++ array definition, 16 bytes a line, bottom row first.
void writeArray(std::ostringstream& out, const char* name, const char* size, const Image& image) {
    out << "const unsigned char " << name << "[" << size << "] = {\n";
    int count = 0;
    const int total = image.width * image.height * 4;
    for (const Rgb& p : image.pixels) {
        const int bytes[4] = {static_cast<int>(p.r), static_cast<int>(p.g), static_cast<int>(p.b), 255};
        for (int v : bytes) {
            char text[8];
            std::snprintf(text, sizeof text, "0x%02x", v);
            if (count % 16 == 0) {
                out << "   ";
            }
            out << " " << text << (count + 1 < total ? "," : "");
            ++count;
            if (count % 16 == 0) {
                out << "\n";
            }
        }
    }
    out << "};\n";
}

// Writes a PPM preview, top row first, so the image shows upright.
bool writePreview(const std::string& path, const Image& image) {
    std::ofstream file(path, std::ios::binary);
    file << "P6\n" << image.width << " " << image.height << "\n255\n";
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgb& p = image.pixels[static_cast<size_t>(y) * image.width + x];
            const char rgb[3] = {static_cast<char>(static_cast<int>(p.r)),
                                 static_cast<char>(static_cast<int>(p.g)),
                                 static_cast<char>(static_cast<int>(p.b))};
            file.write(rgb, 3);
        }
    }
    return static_cast<bool>(file);
}

// Prints an image's whole, first-row and last-row averages.
void printAverages(const char* name, const Image& image) {
    Rgb whole = averageRows(image, 0, image.height - 1);
    Rgb first = averageRows(image, 0, 0);
    Rgb last = averageRows(image, image.height - 1, image.height - 1);
    std::printf("%s: whole (%.2f, %.2f, %.2f) first row (%.2f, %.2f, %.2f) last row (%.2f, %.2f, %.2f)\n",
                name, whole.r, whole.g, whole.b, first.r, first.g, first.b, last.r, last.g, last.b);
}

}  // namespace

// Paints both images and writes the data source (and, if asked, the previews).
int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: gen_images <output.cpp> [<preview-dir>]\n");
        return 2;
    }
    Image wood = paintWood();
    Image picture = paintPicture();

    std::ostringstream out;
    out << "// images_data.cpp - the two compiled-in images: the wood grain of the table top and the\n"
           "// picture of a stone tower on a hill. RGBA, 4 bytes a pixel, rows of 64 pixels, bottom row "
           "first.\n"
           "//\n"
           "// Generated by tools/gen_images.cpp; do not edit. Regenerate with\n"
           "//   cmake --build <build-dir> --target regen_images\n"
           "// (or run: gen_images Kelvor/images_data.cpp).\n"
           "#include \"kelvor.h\"\n"
           "\n"
           "// clang-format off\n"
           "// The wood, 64 x 64: golden grain running along t.\n";
    writeArray(out, "woodImageData", "64 * 64 * 4", wood);
    out << "\n// The picture, 64 wide x 128 high: a stone tower on a grassy hill, grass at row 0, sky at row "
           "127.\n";
    writeArray(out, "castleHillImageData", "64 * 128 * 4", picture);
    out << "// clang-format on\n";

    std::ofstream file(argv[1], std::ios::binary);
    file << out.str();
    file.close();
    if (!file) {
        std::fprintf(stderr, "gen_images: cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc == 3) {
        std::string dir = argv[2];
        if (!writePreview(dir + "/wood.ppm", wood) || !writePreview(dir + "/picture.ppm", picture)) {
            std::fprintf(stderr, "gen_images: cannot write the previews in %s\n", dir.c_str());
            return 1;
        }
        printAverages("wood", wood);
        printAverages("picture", picture);
    }
    return 0;
}
