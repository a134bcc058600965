// gen_images.cpp - paints the two compiled-in images (the wood grain of the table top and the
// picture of a stone tower on a hill) and writes them as Kelvor/images_data.cpp.
//
// Usage: gen_images <output.cpp> [<preview-dir>]
// With a preview directory it also writes wood.ppm and picture.ppm there (upright) and prints the
// images' average colours. With GEN_IMAGES_VERBOSE set it also reports the colour correction
// applied to the picture (small values mean the painting itself is close to its averages).
//
// The painting uses only integer hashing and the basic arithmetic operations, no library
// transcendental functions, so every run on every IEEE platform gives the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
            // A slow sideways sway of the whole grain up the board, and a finer local wobble that
            // bends the lines a little differently from ring to ring.
            double sway = 0.060 * (fbm(v * 2, 0.5, 2, 0, 2, 11) - 0.5);
            double wobble = 0.040 * (fbm(u * 6, v * 3, 6, 3, 3, 23) - 0.5);
            double s = u + sway + wobble;
            // Rings of varying width: a periodic warp of the position across the board.
            double warp = 0.20 * (fbm(s * 3, 0.25, 3, 0, 2, 37) - 0.5);
            double phase = rings * (s + warp);
            double f = fract(phase);
            // Light early wood darkening into a sharp late-wood line at the end of each ring.
            double dark = 0.35 * smoothstep(0.20, 0.80, f) + 0.65 * smoothstep(0.80, 0.92, f);
            dark *= 1 - smoothstep(0.94, 1.0, f);
            // Ring strength varies from ring to ring.
            int ringId = wrapIndex(static_cast<int>(std::floor(phase)), rings);
            dark *= 0.55 + 0.45 * latticeValue(ringId, 0, 51);
            Rgb c = mix(earlyWood, lateWood, dark);
            // Broad patches of lighter and darker wood.
            c = lift(c, 12 * (fbm(u * 2, v * 2, 2, 2, 2, 59) - 0.5));
            // Fine fibres: streaks that vary across the board and change only slowly along it.
            double fibre = fbm(u * 32, v * 2, 32, 2, 2, 67) - 0.5;
            c = lift(c, 12 * fibre);
            // Pores: short dark dashes drawn out along the grain.
            double pore = valueNoise(s * 64, v * 8, 64, 8, 71);
            c = lift(c, -14 * smoothstep(0.80, 0.95, pore));
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

// The tower's outline: front face, shadowed side face, parapet and battlements.
const double kTowerLeft = 24;
const double kTowerCorner = 36;  // where the lit front face meets the shadowed side
const double kTowerRight = 41;
const double kTowerTop = 106;    // the top of the main shaft
const double kParapetTop = 110;  // the top of the corbelled parapet band
const double kMerlonTop = 115;   // the top of the battlements
const double kWallBase = 11;     // the foot of the foreground wall
const double kDoorX = 30;        // the middle of the tower's door, where the path ends

// The ridge line of the distant hills behind the main hill.
double farRidge(double x) {
    return 57 + 7 * (x / 64) + 8 * (fbm(x / 12, 3.5, 0, 0, 3, 101) - 0.5);
}

// The height of the grassy hill's top at column x.
double hillTop(double x) {
    double d = (x - 32) / 38;
    return 49 + 13 * (1 - d * d) + 3 * (fbm(x / 10, 7.5, 0, 0, 3, 103) - 0.5);
}

// The height of the foreground wall's top at column x.
double wallTop(double x) {
    return 21 + 1.6 * (fbm(x / 6, 1.5, 0, 0, 2, 107) - 0.5);
}

// The middle of the path at height y: wide at the bottom, winding up to the tower door.
double pathCentre(double y) {
    double baseY = hillTop(kDoorX);
    return 20 + 16 * smoothstep(0, 22, y) - 6 * smoothstep(22, baseY, y);
}

// The half-width of the path at height y, narrowing with distance.
double pathHalfWidth(double y) {
    double baseY = hillTop(kDoorX);
    double k = clamp01(1 - y / baseY);
    return 0.8 + 13 * k * k;
}

// The sky: deep blue overhead, paler towards the horizon.
Rgb skyColour(double y) {
    double t = clamp01((y - 45) / 82);
    double k = 1 - (1 - t) * (1 - t);
    return mix(Rgb{198, 220, 238}, Rgb{116, 165, 231}, k);
}

// Grass at (x, y): darker and coarser in front, lighter and hazier up the hill.
Rgb grassColour(double x, double y) {
    double distance = clamp01((y - 10) / 50);
    Rgb near{112, 138, 86};
    Rgb far{140, 158, 102};
    Rgb c = mix(near, far, distance);
    // Blades and tufts: streaks wider than they are tall, coarser close to the viewer.
    double scale = 1 + 2.5 * (1 - distance);
    double blades = fbm(x / (1.2 * scale), y / (0.7 * scale), 0, 0, 3, 111) - 0.5;
    c = lift(c, 34 * blades * (1 - 0.5 * distance));
    // Patches of dry, yellower grass.
    double dry = smoothstep(0.55, 0.75, fbm(x / 9, y / 5, 0, 0, 2, 113));
    c = mix(c, Rgb{c.r + 30, c.g + 14, c.b + 4}, dry * 0.8);
    // A few flowers in the front meadow.
    if (y < 24 && latticeValue(static_cast<int>(x), static_cast<int>(y), 117) > 0.985) {
        c = Rgb{235, 230, 205};
    }
    return c;
}

// A dressed stone's colour: a base tone varied per block, worn by fine noise.
Rgb stoneColour(const Rgb& base, int blockX, int blockY, double x, double y, uint32_t seed) {
    double tone = latticeValue(blockX, blockY, seed) - 0.5;
    Rgb c = lift(base, 30 * tone);
    c = mix(c, Rgb{c.r + 12, c.g + 6, c.b - 6}, latticeValue(blockX + 17, blockY, seed) * 0.6);
    return lift(c, 16 * (fbm(x / 1.5, y / 1.5, 0, 0, 2, seed + 7) - 0.5));
}

// The tower's masonry at (x, y) on one face: courses of 3 rows and staggered joints.
Rgb towerStone(double x, double y, double faceLeft, double blockWidth, const Rgb& base, double light) {
    int course = static_cast<int>(std::floor(y / 3));
    double offset = (course % 2) * blockWidth * 0.5;
    int block = static_cast<int>(std::floor((x - faceLeft + offset) / blockWidth));
    Rgb c = stoneColour(base, block + (faceLeft > 30 ? 40 : 0), course, x, y, 121);
    bool bedJoint = fract(y / 3) < 0.34;
    bool headJoint = fract((x - faceLeft + offset) / blockWidth) < 1 / blockWidth;
    if (bedJoint || headJoint) {
        c = shade(c, 0.72);
    }
    // Weathering: streaks running down from the parapet, moss near the ground.
    double streak = fbm(x / 1.2, y / 14, 0, 0, 2, 123);
    c = shade(c, 1 - 0.18 * smoothstep(0.5, 0.8, streak));
    double moss = 1 - smoothstep(0, 10, y - hillTop(x));
    c = mix(c, Rgb{96, 112, 70}, 0.45 * moss * fbm(x / 2, y / 2, 0, 0, 2, 125));
    return shade(c, light);
}

// Whether (x, y) lies on one of the tower's window slits or in its door.
bool onOpening(double x, double y) {
    struct Slit {
        double x0, x1, y0, y1;
    };
    // clang-format off
    static const Slit slits[] = {
        {29, 30, 73, 78},    // front, lower slit
        {29, 30, 90, 95},    // front, upper slit
        {33, 34, 82, 86},    // front, small slit near the corner
        {38, 39, 78, 83},    // side slit
        {38, 39, 96, 100},   // side, upper slit
    };
    // clang-format on
    for (const Slit& s : slits) {
        if (x >= s.x0 && x < s.x1 && y >= s.y0 && y < s.y1) {
            return true;
        }
    }
    // The door: a round-headed opening at the foot of the front face.
    double base = hillTop(kDoorX);
    double dx = x - kDoorX;
    if (dx >= -2 && dx < 2 && y >= base - 1) {
        if (y < base + 6) {
            return true;
        }
        double r = y - (base + 6);
        return dx * dx + r * r < 4;
    }
    return false;
}

// The tower at (x, y), if it covers that point: writes its colour and returns true.
bool towerColour(double x, double y, Rgb& out) {
    const Rgb frontBase{176, 166, 146};
    const Rgb sideBase{160, 158, 152};
    bool front = x >= kTowerLeft && x < kTowerCorner && y < kTowerTop;
    bool side = x >= kTowerCorner && x < kTowerRight && y < kTowerTop;
    // The parapet band sticks out one pixel on either side, with battlements above it.
    bool parapet = y >= kTowerTop && y < kParapetTop && x >= kTowerLeft - 1 && x < kTowerRight + 1;
    bool merlon = false;
    if (y >= kParapetTop && y < kMerlonTop) {
        double fx = x - (kTowerLeft - 1);
        if (fx >= 0 && x < kTowerCorner) {
            merlon = fract(fx / 5) < 0.6;
        } else if (x >= kTowerCorner && x < kTowerRight + 1) {
            merlon = x < kTowerCorner + 2 || x >= kTowerCorner + 4;
        }
    }
    if (!(front || side || parapet || merlon)) {
        return false;
    }
    if (y < hillTop(x) - 1 || y >= kMerlonTop) {
        return false;
    }
    bool lit = x < kTowerCorner;
    double light = lit ? 1.0 : 0.52;
    if (parapet || merlon) {
        out = towerStone(x, y, kTowerLeft - 1, 5, lit ? frontBase : sideBase, light * 1.04);
        // The shadow under the corbels and on the merlons' inner edges.
        if (parapet && y < kTowerTop + 1) {
            out = shade(out, 0.55);
        }
        return true;
    }
    out = towerStone(x, y, lit ? kTowerLeft : kTowerCorner, lit ? 5 : 3.5, lit ? frontBase : sideBase, light);
    // A soft darkening just under the parapet, and light falling off towards the corner.
    out = shade(out, 1 - 0.25 * smoothstep(kTowerTop - 4, kTowerTop, y));
    if (lit) {
        out = shade(out, 1 - 0.08 * smoothstep(kTowerLeft, kTowerCorner, x));
    }
    if (onOpening(x, y)) {
        out = lit ? Rgb{46, 40, 38} : Rgb{30, 27, 26};
    }
    return true;
}

// The foreground wall at (x, y), if it covers that point: rough stones laid in courses.
bool wallColour(double x, double y, Rgb& out) {
    double top = wallTop(x);
    if (y < kWallBase || y >= top) {
        return false;
    }
    // The gap the path passes through.
    double gapCentre = pathCentre((kWallBase + 21) / 2);
    if (std::fabs(x - gapCentre) < pathHalfWidth(kWallBase) * 0.55) {
        return false;
    }
    const Rgb base{150, 146, 136};
    // Coping stones along the top, catching the light.
    if (y >= top - 2) {
        int block = static_cast<int>(std::floor(x / 4));
        out = stoneColour(lift(base, 22), block, 99, x, y, 131);
        if (fract(x / 4) < 0.2) {
            out = shade(out, 0.75);
        }
        return true;
    }
    // Rubble courses of irregular height and length.
    int course = static_cast<int>(std::floor((y - kWallBase) / 2.5));
    double length = 4 + 3 * latticeValue(course, 0, 133);
    double shift = 7 * latticeValue(course, 1, 133);
    int block = static_cast<int>(std::floor((x + shift) / length));
    out = stoneColour(base, block, course, x, y, 137);
    bool joint = fract((y - kWallBase) / 2.5) < 0.3 || fract((x + shift) / length) < 0.8 / length;
    if (joint) {
        out = shade(out, 0.6);
    }
    // The wall's shadowed foot.
    out = shade(out, 0.8 + 0.2 * smoothstep(kWallBase, kWallBase + 3, y));
    return true;
}

// The path at (x, y), if it covers that point: packed earth and gravel with soft grassy edges.
bool pathColour(double x, double y, Rgb& out, double& edge) {
    double half = pathHalfWidth(y);
    double d = std::fabs(x - pathCentre(y)) / half;
    if (d >= 1 || y >= hillTop(x) - 0.5) {
        return false;
    }
    double distance = clamp01(y / 60);
    Rgb c = mix(Rgb{180, 170, 150}, Rgb{186, 174, 148}, distance);
    double scale = 1 + 2 * (1 - distance);
    c = lift(c, 26 * (fbm(x / scale, y / (0.6 * scale), 0, 0, 3, 141) - 0.5));
    // Wheel ruts, slightly darker, along both sides of the middle.
    double rut = std::fabs(d - 0.45);
    c = shade(c, 1 - 0.10 * (1 - smoothstep(0, 0.12, rut)));
    // Pebbles.
    if (latticeValue(static_cast<int>(x), static_cast<int>(y), 143) > 0.93) {
        c = lift(c, 22);
    }
    out = c;
    edge = smoothstep(0.75, 1.0, d + 0.2 * (fbm(x / 2, y / 2, 0, 0, 2, 145) - 0.5));
    return true;
}

// Paints the sky, hill, tower, wall and path.
Image paintPictureScene() {
    Image image = makeImage(kWidth, kPictureHeight);
    for (int y = 0; y < kPictureHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            double px = x + 0.5;
            double py = y + 0.5;
            Rgb c = skyColour(py);
            // The distant hills, blue with haze.
            double ridge = farRidge(px);
            if (py < ridge) {
                Rgb hill = lift(Rgb{118, 146, 124}, 14 * (fbm(px / 5, py / 3, 0, 0, 2, 151) - 0.5));
                c = mix(hill, skyColour(ridge), 0.35 + 0.25 * clamp01((ridge - py) / 10));
            }
            // The main hill and the meadow in front of it.
            if (py < hillTop(px)) {
                c = grassColour(px, py);
                // The tower's shadow falls to the right, up the slope.
                double below = hillTop(px) - py;
                double reach = px - kTowerRight;
                if (reach >= 0 && reach < 9 - 2 * below && below < 3) {
                    c = shade(c, 0.72 + 0.2 * clamp01(reach / 9));
                }
                // A few bushes dotted over the slope, rounded and lit from the upper left.
                // clang-format off
                static const double bushes[][3] = {
                    {8, 43, 2.6}, {13, 47, 1.8}, {52, 46, 2.4}, {57, 43, 1.9}, {4, 33, 3.0}, {60, 30, 2.8},
                };
                // clang-format on
                for (const auto& bush : bushes) {
                    double dx = (px - bush[0]) / bush[2];
                    double dy = (py - bush[1]) / (bush[2] * 0.8);
                    double r2 = dx * dx + dy * dy + 0.3 * (fbm(px, py, 0, 0, 2, 171) - 0.5);
                    if (r2 < 1) {
                        double lit = clamp01(0.5 - 0.5 * dx + 0.5 * dy);
                        c = mix(Rgb{46, 70, 38}, Rgb{92, 122, 60}, lit);
                    }
                }
                Rgb earth;
                double edge = 0;
                if (pathColour(px, py, earth, edge)) {
                    c = mix(earth, c, edge);
                }
            }
            Rgb solid;
            if (towerColour(px, py, solid)) {
                c = solid;
            }
            if (wallColour(px, py, solid)) {
                c = solid;
            }
            // A short shadow cast by the wall onto the ground in front of it.
            if (py < kWallBase && py >= kWallBase - 2 &&
                std::fabs(px - pathCentre((kWallBase + 21) / 2)) >= pathHalfWidth(kWallBase) * 0.55) {
                c = shade(c, 0.8);
            }
            // Film grain.
            c = lift(c, 5 * (latticeValue(x, y, 161) - 0.5));
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
        if (pass == 0 && std::getenv("GEN_IMAGES_VERBOSE")) {
            for (int c = 0; c < 3; ++c) {
                std::fprintf(stderr, "channel %d: bottom %+.1f top %+.1f overall %+.1f\n", c, shift[c][0],
                             shift[c][1], shift[c][2]);
            }
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
           "// or with tools/regen_images.sh, which also refreshes the previews docs/wood.png and\n"
           "// docs/picture.png.\n"
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
