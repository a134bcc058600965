// images_test.cpp - the two compiled-in images: format, average colours, the wood's grain and
// range, and the picture's orientation.
#include <gtest/gtest.h>

#include <cmath>

#include "kelvor.h"

namespace {

const int kWidth = 64;
const int kWoodHeight = 64;
const int kPictureHeight = 128;

// An average colour.
struct Average {
    double r, g, b;
};

// The average colour of the rows y0..y1 (inclusive, row 0 stored first) of an image 64 pixels wide.
Average rowsAverage(const unsigned char* image, int y0, int y1) {
    double sum[3] = {0, 0, 0};
    for (int y = y0; y <= y1; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const unsigned char* p = image + (y * kWidth + x) * 4;
            for (int c = 0; c < 3; ++c) {
                sum[c] += p[c];
            }
        }
    }
    double n = static_cast<double>(kWidth) * (y1 - y0 + 1);
    return Average{sum[0] / n, sum[1] / n, sum[2] / n};
}

// The brightness of one pixel.
double brightness(const unsigned char* image, int x, int y) {
    const unsigned char* p = image + (y * kWidth + x) * 4;
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
}

// Checks an average colour against its target, each channel within 3.
void expectAverage(const Average& actual, double r, double g, double b, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_NEAR(actual.r, r, 3.0);
    EXPECT_NEAR(actual.g, g, 3.0);
    EXPECT_NEAR(actual.b, b, 3.0);
}

}  // namespace

// Both images are RGBA with 64-pixel rows, and opaque everywhere, so the decal-textured quads show
// their texels unblended.
TEST(Images, HaveTheirSizeAndAreOpaqueEverywhere) {
    EXPECT_EQ(sizeof(woodImageData), static_cast<size_t>(kWidth * kWoodHeight * 4));
    EXPECT_EQ(sizeof(castleHillImageData), static_cast<size_t>(kWidth * kPictureHeight * 4));
    int translucent = 0;
    for (int i = 0; i < kWidth * kWoodHeight; ++i) {
        translucent += woodImageData[i * 4 + 3] != 255;
    }
    for (int i = 0; i < kWidth * kPictureHeight; ++i) {
        translucent += castleHillImageData[i * 4 + 3] != 255;
    }
    EXPECT_EQ(translucent, 0);
}

// The wood is golden yellow: right on average and never outside its component ranges.
TEST(Images, WoodHasItsAverageAndStaysInRange) {
    expectAverage(rowsAverage(woodImageData, 0, kWoodHeight - 1), 184, 145, 51, "whole wood");
    int outside = 0;
    for (int i = 0; i < kWidth * kWoodHeight; ++i) {
        const unsigned char* p = woodImageData + i * 4;
        outside += p[0] < 163 || p[0] > 209;
        outside += p[1] < 117 || p[1] > 176;
        outside += p[2] < 33 || p[2] > 66;
    }
    EXPECT_EQ(outside, 0);
}

// The grain runs along t: colour changes from column to column but hardly along a column, and it
// is visible at all (not a flat colour).
TEST(Images, WoodGrainRunsAlongTheRows) {
    double acrossColumns = 0;  // mean step between neighbouring pixels of a row
    double alongColumns = 0;   // mean step between neighbouring pixels of a column
    for (int y = 0; y < kWoodHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            double here = brightness(woodImageData, x, y);
            acrossColumns += std::fabs(brightness(woodImageData, (x + 1) % kWidth, y) - here);
            alongColumns += std::fabs(brightness(woodImageData, x, (y + 1) % kWoodHeight) - here);
        }
    }
    acrossColumns /= kWidth * kWoodHeight;
    alongColumns /= kWidth * kWoodHeight;
    EXPECT_GT(acrossColumns, 2.0) << "no visible grain";
    EXPECT_GT(acrossColumns, 2.5 * alongColumns) << "grain not along t";
}

// The table top repeats the wood four times each way: the wrap from the last column to the first,
// and from the last row to the first, must be no harsher than any other neighbouring step.
TEST(Images, WoodRepeatsWithoutSeams) {
    double inner = 0;
    double seam = 0;
    for (int y = 0; y < kWoodHeight; ++y) {
        for (int x = 0; x + 1 < kWidth; ++x) {
            inner += std::fabs(brightness(woodImageData, x + 1, y) - brightness(woodImageData, x, y));
        }
        seam += std::fabs(brightness(woodImageData, 0, y) - brightness(woodImageData, kWidth - 1, y));
    }
    EXPECT_LT(seam / kWoodHeight, 1.5 * inner / (kWoodHeight * (kWidth - 1)))
        << "seam between columns 63 and 0";

    inner = 0;
    seam = 0;
    for (int x = 0; x < kWidth; ++x) {
        for (int y = 0; y + 1 < kWoodHeight; ++y) {
            inner += std::fabs(brightness(woodImageData, x, y + 1) - brightness(woodImageData, x, y));
        }
        seam += std::fabs(brightness(woodImageData, x, 0) - brightness(woodImageData, x, kWoodHeight - 1));
    }
    // Along the grain the steps are tiny; allow a small absolute margin besides the ratio.
    EXPECT_LT(seam / kWidth, 2.0 * inner / (kWidth * (kWoodHeight - 1)) + 1.0)
        << "seam between rows 63 and 0";
}

// The picture's colour balance: the whole image, its first stored row (grass and stone) and its
// last (sky).
TEST(Images, PictureHasItsAverages) {
    expectAverage(rowsAverage(castleHillImageData, 0, kPictureHeight - 1), 135, 152, 156, "whole picture");
    expectAverage(rowsAverage(castleHillImageData, 0, 0), 148, 155, 119, "first stored row");
    expectAverage(rowsAverage(castleHillImageData, kPictureHeight - 1, kPictureHeight - 1), 116, 165, 231,
                  "last stored row");
}

// The picture is stored bottom row first, so it stands upright on its quad: green ground below,
// blue sky above, and the tower standing in between with sky on both sides of it.
TEST(Images, PictureIsStoredUpright) {
    Average ground = rowsAverage(castleHillImageData, 0, 15);
    Average sky = rowsAverage(castleHillImageData, kPictureHeight - 16, kPictureHeight - 1);
    EXPECT_GT(ground.g, ground.b) << "the bottom rows are not grass";
    EXPECT_GT(sky.b, sky.r + 60) << "the top rows are not blue sky";
    EXPECT_GT(sky.b, sky.g + 30) << "the top rows are not blue sky";
    EXPECT_LT(ground.r + ground.g + ground.b, sky.r + sky.g + sky.b)
        << "the ground is not darker than the sky";

    // The sky pales towards the horizon.
    const unsigned char* leftSky = castleHillImageData + (80 * kWidth + 2) * 4;
    const unsigned char* topSky = castleHillImageData + ((kPictureHeight - 1) * kWidth + 2) * 4;
    EXPECT_GT(leftSky[0], topSky[0]) << "no sky gradient";

    // Half-way up, the middle columns are stone (not sky-blue) while the outer ones are sky.
    int stone = 0;
    int skyAtEdges = 0;
    for (int y = 70; y < 100; ++y) {
        for (int x = 28; x < 34; ++x) {
            const unsigned char* p = castleHillImageData + (y * kWidth + x) * 4;
            stone += p[2] < p[0] + 20;
        }
        for (int x : {1, 2, kWidth - 3, kWidth - 2}) {
            const unsigned char* p = castleHillImageData + (y * kWidth + x) * 4;
            skyAtEdges += p[2] > p[0] + 30;
        }
    }
    EXPECT_GT(stone, 30 * 6 * 3 / 4) << "no tower in the middle of the picture";
    EXPECT_EQ(skyAtEdges, 30 * 4) << "no sky beside the tower";
}
