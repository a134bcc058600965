// shapes_teapot_data_test.cpp - the teapot's patch data, checked through the nets the teapot hands to
// the evaluator: the known points, where each patch lies, watertight seams, smooth joins, outward
// normals and the overall size.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "gl_recorder.h"
#include "kvr_platform.h"
#include "shapes.h"

namespace {

using Vec3 = std::array<double, 3>;

// The published patch table: four rows (v) of four control-point indices (u) per patch.
// clang-format off
const int patchTable[10][16] = {
    {102, 103, 104, 105, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27},
    {24, 25, 26, 27, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40},
    {96, 96, 96, 96, 97, 98, 99, 100, 101, 101, 101, 101, 0, 1, 2, 3},
    {0, 1, 2, 3, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117},
    {118, 118, 118, 118, 124, 122, 119, 121, 123, 126, 125, 120, 40, 39, 38, 37},
    {41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56},
    {53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 28, 65, 66, 67},
    {68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83},
    {80, 81, 82, 83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95},
};
// clang-format on

const int kPoints = 127;
const double kPi = 3.14159265358979323846;

// One recorded vertex net: which patch and which copy (P itself, Q mirrored in y = 0, R mirrored in
// x = 0, S turned half about the axis), and its points by row j (v) and column k (u).
struct Net {
    int patch = 0;
    char copy = 'P';
    Vec3 p[4][4]{};
};

Vec3 add(const Vec3& a, const Vec3& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

Vec3 sub(const Vec3& a, const Vec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vec3 mul(const Vec3& a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}

Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double length(const Vec3& a) {
    return std::sqrt(dot(a, a));
}

std::string str(const Vec3& a) {
    return "(" + std::to_string(a[0]) + ", " + std::to_string(a[1]) + ", " + std::to_string(a[2]) + ")";
}

// Draws the solid teapot of the given size into a fresh log and returns its 32 vertex nets in order.
std::vector<Net> recordNets(double size) {
    glrec::reset();
    glutSolidTeapot(size);
    std::vector<Net> nets;
    const char copies[] = "PQRS";
    int patch = 0;
    int copy = 0;
    for (const glrec::Call* m : glrec::named("glMap2f")) {
        if (m->args.at(0) != double(GL_MAP2_VERTEX_3) || m->data.size() != 48) {
            continue;
        }
        Net net;
        net.patch = patch;
        net.copy = copies[copy];
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                const float* f = &m->data[std::size_t((j * 4 + k) * 3)];
                net.p[j][k] = {f[0], f[1], f[2]};
            }
        }
        nets.push_back(net);
        // The body patches come as four copies, the handle and spout patches as two.
        if (++copy == (patch < 6 ? 4 : 2)) {
            copy = 0;
            ++patch;
        }
    }
    return nets;
}

// Cubic Bernstein polynomial i at t, and its derivative.
double bernstein(int i, double t) {
    const double s = 1 - t;
    const double b[4] = {s * s * s, 3 * t * s * s, 3 * t * t * s, t * t * t};
    return b[i];
}

double bernsteinDerivative(int i, double t) {
    const double s = 1 - t;
    const double d[4] = {-3 * s * s, 3 * s * s - 6 * t * s, 6 * t * s - 3 * t * t, 3 * t * t};
    return d[i];
}

// The net's surface point at (u, v), u along the columns and v along the rows, with both derivatives.
Vec3 evaluate(const Net& net, double u, double v, Vec3* du = nullptr, Vec3* dv = nullptr) {
    Vec3 point{0, 0, 0};
    Vec3 dU{0, 0, 0};
    Vec3 dV{0, 0, 0};
    for (int j = 0; j < 4; ++j) {
        for (int k = 0; k < 4; ++k) {
            point = add(point, mul(net.p[j][k], bernstein(k, u) * bernstein(j, v)));
            dU = add(dU, mul(net.p[j][k], bernsteinDerivative(k, u) * bernstein(j, v)));
            dV = add(dV, mul(net.p[j][k], bernstein(k, u) * bernsteinDerivative(j, v)));
        }
    }
    if (du != nullptr) {
        *du = dU;
    }
    if (dv != nullptr) {
        *dv = dV;
    }
    return point;
}

class TeapotDataTest : public ::testing::Test {
protected:
    std::vector<Net> nets;
    Vec3 point[kPoints]{};
    bool seen[kPoints]{};

    void SetUp() override {
        nets = recordNets(1.0);
        ASSERT_EQ(nets.size(), 32u);
        // The control points, read back by index from the untransformed copies.
        for (const Net& net : nets) {
            if (net.copy != 'P') {
                continue;
            }
            for (int j = 0; j < 4; ++j) {
                for (int k = 0; k < 4; ++k) {
                    const int index = patchTable[net.patch][j * 4 + k];
                    if (seen[index]) {
                        EXPECT_EQ(point[index], net.p[j][k])
                            << "point " << index << " differs between its uses (patch " << net.patch << ")";
                    }
                    point[index] = net.p[j][k];
                    seen[index] = true;
                }
            }
        }
    }
    void TearDown() override { glrec::reset(); }

    // The control point at row j, column k of a patch.
    const Vec3& at(int patch, int j, int k) const { return point[patchTable[patch][j * 4 + k]]; }
};

// Each net is the patch's own points, or their mirror image with the columns of each row reversed.
TEST_F(TeapotDataTest, NetsAreThePatchTablesPointsAndTheirMirrorImages) {
    for (int i = 0; i < kPoints; ++i) {
        EXPECT_TRUE(seen[i]) << "point " << i << " is used by no patch";
    }
    for (const Net& net : nets) {
        SCOPED_TRACE(std::string("patch ") + std::to_string(net.patch) + " copy " + net.copy);
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                const Vec3& a = at(net.patch, j, k);
                const Vec3& b = at(net.patch, j, 3 - k);
                Vec3 expected = a;
                if (net.copy == 'Q') {
                    expected = {b[0], -b[1], b[2]};
                } else if (net.copy == 'R') {
                    expected = {-b[0], b[1], b[2]};
                } else if (net.copy == 'S') {
                    expected = {-a[0], -a[1], a[2]};
                }
                EXPECT_EQ(net.p[j][k], expected) << "row " << j << " column " << k;
            }
        }
    }
}

// The points published alongside the data, for comparison.
TEST_F(TeapotDataTest, KnownPointsHaveThePublishedValues) {
    struct Known {
        int index;
        Vec3 p;
    };
    // clang-format off
    const Known known[] = {
        {0, {0.2, 0, 2.7}},
        {1, {0.2, -0.112, 2.7}},
        {2, {0.112, -0.2, 2.7}},
        {3, {0, -0.2, 2.7}},
        {4, {1.3375, 0, 2.53125}},
        {5, {1.3375, -0.749, 2.53125}},
        {6, {0.749, -1.3375, 2.53125}},
        {7, {0, -1.3375, 2.53125}},
        {12, {1.5, 0, 2.4}},
        {28, {-2, 0, 0.9}},
        {126, {0.84, -1.5, 0.075}},
        {118, {0, 0, 0}},
        {96, {0, 0, 3.15}},
    };
    // clang-format on
    for (const Known& k : known) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_FLOAT_EQ(point[k.index][std::size_t(c)], k.p[std::size_t(c)]) << "point " << k.index;
        }
    }

    // Every other point, through sums of the published table's 127 points (as floats): per coordinate,
    // and two weighted by the point's index, so that no single value can change or move unseen.
    double sum[3] = {0, 0, 0};
    double weighted[2] = {0, 0};
    for (int i = 0; i < kPoints; ++i) {
        ASSERT_TRUE(seen[i]) << "point " << i;
        const Vec3& p = point[i];
        for (int c = 0; c < 3; ++c) {
            sum[c] += p[std::size_t(c)];
        }
        weighted[0] += (i + 1) * (p[0] + 2 * p[1] + 3 * p[2]);
        weighted[1] += (kPoints - i) * (3 * p[0] + p[1] + 2 * p[2]);
    }
    EXPECT_NEAR(sum[0], 68.62799943983555, 1e-7);
    EXPECT_NEAR(sum[1], -68.71799983084202, 1e-7);
    EXPECT_NEAR(sum[2], 220.68750232458115, 1e-7);
    EXPECT_NEAR(weighted[0], 40680.598242253065, 1e-6);
    EXPECT_NEAR(weighted[1], 31739.848684564233, 1e-6);
}

// Body patches in the quarter x >= 0, y <= 0; handle and spout in the half y <= 0 at their own x.
TEST_F(TeapotDataTest, PatchesLieInTheirQuarterOrHalf) {
    const double xMin[10] = {0, 0, 0, 0, 0, 0, -3, -3, 1.7, 1.7};
    const double xMax[10] = {2, 2, 2, 2, 2, 2, -1.5, -1.5, 3.525, 3.525};
    double zMin = 1e9;
    double zMax = -1e9;
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                const Vec3& p = at(i, j, k);
                SCOPED_TRACE("patch " + std::to_string(i) + " point " +
                             std::to_string(patchTable[i][j * 4 + k]));
                EXPECT_GE(p[0], xMin[i] - 1e-6);
                EXPECT_LE(p[0], xMax[i] + 1e-6);
                EXPECT_LE(p[1], 0.0);
                zMin = std::fmin(zMin, p[2]);
                zMax = std::fmax(zMax, p[2]);
            }
        }
    }
    EXPECT_FLOAT_EQ(zMin, 0.0);
    EXPECT_FLOAT_EQ(zMax, 3.15);
}

// The copies close the seams exactly: the side columns sit on the mirror planes, and every side
// column of every drawn net is a side column of another net.
TEST_F(TeapotDataTest, MirroredCopiesMeetWithoutGaps) {
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE("patch " + std::to_string(i));
        // Which coordinate is zero along the first and the last column.
        bool firstOnY0 = true;
        bool lastOnY0 = true;
        bool firstOnX0 = true;
        bool lastOnX0 = true;
        for (int j = 0; j < 4; ++j) {
            firstOnY0 = firstOnY0 && at(i, j, 0)[1] == 0;
            lastOnY0 = lastOnY0 && at(i, j, 3)[1] == 0;
            firstOnX0 = firstOnX0 && at(i, j, 0)[0] == 0;
            lastOnX0 = lastOnX0 && at(i, j, 3)[0] == 0;
        }
        if (i < 6) {
            EXPECT_TRUE((firstOnY0 && lastOnX0) || (firstOnX0 && lastOnY0));
        } else {
            EXPECT_TRUE(firstOnY0 && lastOnY0);
        }
    }
    for (std::size_t a = 0; a < nets.size(); ++a) {
        for (int side : {0, 3}) {
            bool matched = false;
            for (std::size_t b = 0; b < nets.size() && !matched; ++b) {
                for (int other : {0, 3}) {
                    bool same = b != a;
                    for (int j = 0; j < 4 && same; ++j) {
                        same = nets[a].p[j][side] == nets[b].p[j][other];
                    }
                    matched = matched || same;
                }
            }
            EXPECT_TRUE(matched) << "patch " << nets[a].patch << " copy " << nets[a].copy << " column "
                                 << side << " meets no other copy";
        }
    }
}

// Every row of a body patch is a quarter circle about the axis (end points on the two planes, inner
// points at 0.56 of the radius, the knob's ring rounded to 0.45 of 0.8), or a single point on the axis.
// Next to such a point the ring lies level with it, so the knob's top and the bottom's centre are smooth.
TEST_F(TeapotDataTest, BodyRowsAreQuarterCirclesAboutTheAxis) {
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 4; ++j) {
            SCOPED_TRACE("patch " + std::to_string(i) + " row " + std::to_string(j));
            const Vec3 row[4] = {at(i, j, 0), at(i, j, 1), at(i, j, 2), at(i, j, 3)};
            const double z = row[0][2];
            for (const Vec3& p : row) {
                EXPECT_EQ(p[2], z) << str(p);
            }
            if (row[0] == row[3]) {
                for (const Vec3& p : row) {
                    EXPECT_EQ(p, row[0]);
                    EXPECT_EQ(p[0], 0.0);
                    EXPECT_EQ(p[1], 0.0);
                }
                // A collapsed first row is the patch's apex on the surface.
                for (int k = 0; k < 4 && j == 0; ++k) {
                    EXPECT_EQ(at(i, 1, k)[2], z) << "the ring next to the apex is not level";
                }
                continue;
            }
            // Order the row from the end on y = 0 to the end on x = 0.
            const bool forward = row[0][1] == 0;
            const Vec3& e0 = forward ? row[0] : row[3];
            const Vec3& b = forward ? row[1] : row[2];
            const Vec3& c = forward ? row[2] : row[1];
            const Vec3& e1 = forward ? row[3] : row[0];
            const double r = e0[0];
            EXPECT_GT(r, 0.0);
            EXPECT_EQ(e0[1], 0.0);
            EXPECT_EQ(e1[0], 0.0);
            EXPECT_EQ(e1[1], -r) << str(e0) << " " << str(e1);
            EXPECT_EQ(b[0], r) << str(b);
            EXPECT_EQ(c[1], -r) << str(c);
            EXPECT_EQ(b[1], -c[0]) << str(b) << " " << str(c);
            EXPECT_NEAR(c[0], 0.56 * r, 0.0021) << str(c);
        }
    }
}

// Each row of a handle or spout patch is half a symmetric cross-section: two points on y = 0, and two
// beside them at one common depth.
TEST_F(TeapotDataTest, HandleAndSpoutRowsAreHalfSections) {
    for (int i = 6; i < 10; ++i) {
        for (int j = 0; j < 4; ++j) {
            SCOPED_TRACE("patch " + std::to_string(i) + " row " + std::to_string(j));
            const Vec3& a = at(i, j, 0);
            const Vec3& a1 = at(i, j, 1);
            const Vec3& b1 = at(i, j, 2);
            const Vec3& b = at(i, j, 3);
            EXPECT_EQ(a[1], 0.0);
            EXPECT_EQ(b[1], 0.0);
            EXPECT_LT(a1[1], 0.0);
            EXPECT_EQ(a1[1], b1[1]);
            EXPECT_EQ(a1[0], a[0]) << str(a) << " " << str(a1);
            EXPECT_EQ(a1[2], a[2]) << str(a) << " " << str(a1);
            EXPECT_EQ(b1[0], b[0]) << str(b) << " " << str(b1);
            EXPECT_EQ(b1[2], b[2]) << str(b) << " " << str(b1);
        }
    }
}

// Where two patches share a row, each column's point before it, the shared point and the point after
// it lie on one line in that order, so the surface turns no corner across the join.
TEST_F(TeapotDataTest, SharedRowsJoinWithoutACrease) {
    struct Join {
        int first;   // the patch whose last row is shared
        int second;  // the patch that continues from it
        int row;     // the shared row's position in the second patch (0 or 3)
    };
    const Join joins[] = {{0, 1, 0}, {1, 2, 0}, {2, 5, 3}, {3, 4, 0}, {6, 7, 0}, {8, 9, 0}};
    for (const Join& join : joins) {
        for (int k = 0; k < 4; ++k) {
            const int shared = patchTable[join.first][12 + k];
            // The same point's column in the second patch.
            int k2 = -1;
            for (int m = 0; m < 4; ++m) {
                if (patchTable[join.second][join.row * 4 + m] == shared) {
                    k2 = m;
                }
            }
            SCOPED_TRACE("patches " + std::to_string(join.first) + " and " + std::to_string(join.second) +
                         ", point " + std::to_string(shared));
            ASSERT_GE(k2, 0) << "the row is not shared";
            const Vec3& before = at(join.first, 2, k);
            const Vec3& middle = point[shared];
            const Vec3& after = at(join.second, join.row == 0 ? 1 : 2, k2);
            const Vec3 in = sub(middle, before);
            const Vec3 out = sub(after, middle);
            ASSERT_GT(length(in), 0.0);
            ASSERT_GT(length(out), 0.0);
            EXPECT_LT(length(cross(in, out)), 1e-5 * length(in) * length(out))
                << str(before) << " " << str(middle) << " " << str(after);
            EXPECT_GT(dot(in, out), 0.0) << str(before) << " " << str(middle) << " " << str(after);
        }
    }
}

// The evaluator's automatic normal (u derivative crossed with v derivative) at the middle of each of the
// 32 drawn patches points out of the teapot.
TEST_F(TeapotDataTest, AutomaticNormalsPointOutOfTheTeapot) {
    for (const Net& net : nets) {
        SCOPED_TRACE(std::string("patch ") + std::to_string(net.patch) + " copy " + net.copy);
        Vec3 du;
        Vec3 dv;
        const Vec3 m = evaluate(net, 0.5, 0.5, &du, &dv);
        const Vec3 normal = cross(du, dv);
        ASSERT_GT(length(normal), 0.0);
        Vec3 outward;
        switch (net.patch) {
            case 0:  // the top of the rim's roll
            case 4:  // the lid
            case 9:  // the top of the spout's rolled lip
                outward = {0, 0, 1};
                break;
            case 5:  // the bottom
                outward = {0, 0, -1};
                break;
            case 1:  // the body and the knob: away from the axis
            case 2:
            case 3:
                outward = {m[0], m[1], 0};
                break;
            default: {
                // The handle and the spout: away from the tube's centre, half way between its side columns.
                const Vec3 side0 = evaluate(net, 0.0, 0.5);
                const Vec3 side1 = evaluate(net, 1.0, 0.5);
                outward = sub(m, mul(add(side0, side1), 0.5));
                break;
            }
        }
        EXPECT_GT(dot(normal, outward), 0.3 * length(normal) * length(outward))
            << "normal " << str(normal) << " at " << str(m);
    }
}

// The recorded transform applied to the recorded nets: the teapot stands on y = -0.75 size, reaches
// 0.825 size with the knob, sits on the caller's y axis, spout to +x and handle to -x.
TEST_F(TeapotDataTest, TeapotOfSizeSSpansItsStatedExtent) {
    for (double size : {1.0, 2.5}) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::vector<Net> drawn = recordNets(size);
        ASSERT_EQ(drawn.size(), 32u);
        // Compose the model-view changes made between the teapot's push and pop.
        double mat[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
        int transforms = 0;
        for (const glrec::Call& c : glrec::calls) {
            double t[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
            if (c.name == "glRotatef") {
                const double a = c.args[0] * kPi / 180.0;
                Vec3 axis = {c.args[1], c.args[2], c.args[3]};
                axis = mul(axis, 1.0 / length(axis));
                const double co = std::cos(a);
                const double si = std::sin(a);
                for (int r = 0; r < 3; ++r) {
                    for (int q = 0; q < 3; ++q) {
                        t[r][q] = axis[std::size_t(r)] * axis[std::size_t(q)] * (1 - co) + (r == q ? co : 0);
                    }
                }
                t[0][1] -= axis[2] * si;
                t[0][2] += axis[1] * si;
                t[1][0] += axis[2] * si;
                t[1][2] -= axis[0] * si;
                t[2][0] -= axis[1] * si;
                t[2][1] += axis[0] * si;
            } else if (c.name == "glScalef") {
                t[0][0] = c.args[0];
                t[1][1] = c.args[1];
                t[2][2] = c.args[2];
            } else if (c.name == "glTranslatef") {
                t[0][3] = c.args[0];
                t[1][3] = c.args[1];
                t[2][3] = c.args[2];
            } else {
                EXPECT_TRUE(c.name.find("Matrix") == std::string::npos || c.name == "glPushMatrix" ||
                            c.name == "glPopMatrix")
                    << c.name;
                continue;
            }
            ++transforms;
            double product[4][4] = {};
            for (int r = 0; r < 4; ++r) {
                for (int q = 0; q < 4; ++q) {
                    for (int s = 0; s < 4; ++s) {
                        product[r][q] += mat[r][s] * t[s][q];
                    }
                }
            }
            std::copy(&product[0][0], &product[0][0] + 16, &mat[0][0]);
        }
        EXPECT_EQ(transforms, 3);
        Vec3 lo = {1e9, 1e9, 1e9};
        Vec3 hi = {-1e9, -1e9, -1e9};
        const int steps = 28;
        for (const Net& net : drawn) {
            for (int a = 0; a <= steps; ++a) {
                for (int b = 0; b <= steps; ++b) {
                    const Vec3 m = evaluate(net, double(a) / steps, double(b) / steps);
                    for (int r = 0; r < 3; ++r) {
                        const double w = mat[r][0] * m[0] + mat[r][1] * m[1] + mat[r][2] * m[2] + mat[r][3];
                        lo[std::size_t(r)] = std::fmin(lo[std::size_t(r)], w);
                        hi[std::size_t(r)] = std::fmax(hi[std::size_t(r)], w);
                    }
                }
            }
        }
        EXPECT_NEAR(lo[1], -0.75 * size, 1e-5);
        EXPECT_NEAR(hi[1], 0.825 * size, 1e-5);
        // The body's widest circle, radius 2 in model units, is symmetric about the axis in depth.
        EXPECT_NEAR(lo[2], -1.0 * size, 1e-5);
        EXPECT_NEAR(hi[2], 1.0 * size, 1e-5);
        // The handle's outer edge reaches x = -3 in model units; the spout's lip stays inside its control
        // points at 3.525.
        EXPECT_NEAR(lo[0], -1.5 * size, 1e-5);
        EXPECT_GT(hi[0], 1.6 * size);
        EXPECT_LT(hi[0], 1.7625 * size);
    }
}

}  // namespace
