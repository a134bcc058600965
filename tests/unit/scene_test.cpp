// scene_test.cpp - the scene's commands: placements, stacks, materials, the textured
// quads and the evaluated surface, read from the GL recorder.
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gl_recorder.h"
#include "kelvor.h"

namespace {

using Args = std::vector<double>;

// One placement: a top-level matrix push and the transforms issued right after it.
struct Placement {
    std::size_t push;                            // index of the glPushMatrix
    std::vector<const glrec::Call*> transforms;  // glTranslated/glRotated/glScaled that follow it
};

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        glrec::reset();
        woodTextureRef = 11;
        castleHillTextureRef = 12;
        drawScene();
    }
    void TearDown() override {
        woodTextureRef = 0;
        castleHillTextureRef = 0;
    }

    // The placements of the scene, in order. Shapes may push matrices of their own inside a
    // placement; those are nested and not counted.
    static std::vector<Placement> placements() {
        std::vector<Placement> out;
        int depth = 0;
        for (std::size_t i = 0; i < glrec::calls.size(); ++i) {
            const std::string& n = glrec::calls[i].name;
            if (n == "glPushMatrix") {
                if (depth == 0) {
                    Placement p{i, {}};
                    for (std::size_t j = i + 1; j < glrec::calls.size(); ++j) {
                        const std::string& m = glrec::calls[j].name;
                        if (m != "glTranslated" && m != "glRotated" && m != "glScaled") {
                            break;
                        }
                        p.transforms.push_back(&glrec::calls[j]);
                    }
                    out.push_back(p);
                }
                ++depth;
            } else if (n == "glPopMatrix") {
                --depth;
            }
        }
        return out;
    }

    // The index of the first call at or after `from` with this name and these leading arguments.
    static std::size_t findWith(const std::string& name, const Args& args, std::size_t from = 0) {
        for (std::size_t i = glrec::find(name, from); i < glrec::calls.size(); i = glrec::find(name, i + 1)) {
            const Args& a = glrec::calls[i].args;
            if (a.size() >= args.size() && std::equal(args.begin(), args.end(), a.begin())) {
                return i;
            }
        }
        return glrec::calls.size();
    }
};

// The floor is 25 by 17 cubes from (-8, -0.5, -8) to (16, -0.5, 8), z varying fastest.
TEST_F(SceneTest, FloorHas425CubesInLoopOrder) {
    std::vector<Args> floor;
    for (const Placement& p : placements()) {
        if (p.transforms.size() == 1 && p.transforms[0]->name == "glTranslated" &&
            p.transforms[0]->args[1] == -0.5) {
            floor.push_back(p.transforms[0]->args);
        }
    }
    ASSERT_EQ(floor.size(), 425u);
    std::size_t k = 0;
    for (int x = -8; x <= 16; ++x) {
        for (int z = -8; z <= 8; ++z, ++k) {
            ASSERT_EQ(floor[k], (Args{double(x), -0.5, double(z)})) << "cube " << k;
        }
    }
}

// 13 top-level matrix pushes and 6 attribute pushes, all balanced, never more than one level
// deep at the top; every material is set on the front faces inside an attribute push.
TEST_F(SceneTest, StacksBalanceAndMaterialsStayInsideTheirPush) {
    int matrixDepth = 0;
    int attribDepth = 0;
    int topMatrixPushes = 0;
    int topAttribPushes = 0;
    int materials = 0;
    std::vector<double> masks;  // of the top-level attribute pushes
    for (std::size_t i = 0; i < glrec::calls.size(); ++i) {
        const glrec::Call& c = glrec::calls[i];
        if (c.name == "glPushMatrix") {
            topMatrixPushes += matrixDepth == 0 ? 1 : 0;
            ++matrixDepth;
        } else if (c.name == "glPopMatrix") {
            ASSERT_GT(matrixDepth, 0) << "call " << i;
            --matrixDepth;
        } else if (c.name == "glPushAttrib") {
            if (attribDepth == 0) {
                ++topAttribPushes;
                masks.push_back(c.args.at(0));
            }
            ++attribDepth;
        } else if (c.name == "glPopAttrib") {
            ASSERT_GT(attribDepth, 0) << "call " << i;
            --attribDepth;
        } else if (c.name == "glMaterialfv" || c.name == "glMaterialf") {
            ++materials;
            EXPECT_GT(attribDepth, 0) << "material outside a push at call " << i;
            EXPECT_EQ(c.args[0], double(GL_FRONT)) << "call " << i;
        }
    }
    EXPECT_EQ(matrixDepth, 0);
    EXPECT_EQ(attribDepth, 0);
    // 13 push sites; the floor's runs once per cube.
    EXPECT_EQ(topMatrixPushes, 12 + 425);
    EXPECT_EQ(topAttribPushes, 6);
    // Each top-level push saves the lighting state its materials and switches change; the surface's the
    // blending too.
    const double lighting = GL_LIGHTING_BIT;
    EXPECT_EQ(masks, (std::vector<double>{lighting, lighting, lighting, lighting, lighting,
                                          double(GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT)}));
    EXPECT_EQ(materials, 3 + 3 + 3 + 4 + 4);

    // Each group's material, in the order of the groups.
    const auto fv = glrec::named("glMaterialfv");
    const auto f = glrec::named("glMaterialf");
    ASSERT_EQ(fv.size(), 12u);
    ASSERT_EQ(f.size(), 5u);
    using Floats = std::vector<float>;
    const Floats wood = {0.23f, 0.15f, 0.07f, 1.0f};
    const Floats black = {0.0f, 0.0f, 0.0f, 1.0f};
    const Floats white = {1.0f, 1.0f, 1.0f, 1.0f};
    struct Expected {
        GLenum pname;
        Floats value;
    };
    // clang-format off
    const Expected expected[12] = {
        {GL_AMBIENT_AND_DIFFUSE, {0.2f, 0.2f, 0.0f, 1.0f}}, {GL_SPECULAR, {0.6f, 0.6f, 0.6f, 1.0f}},  // floor
        {GL_AMBIENT_AND_DIFFUSE, wood}, {GL_SPECULAR, black},                                        // legs
        {GL_AMBIENT_AND_DIFFUSE, wood}, {GL_SPECULAR, black},                                        // easel
        {GL_AMBIENT, {0.2f, 0.2f, 0.5f, 1.0f}}, {GL_DIFFUSE, {0.4f, 0.4f, 1.0f, 1.0f}},
        {GL_SPECULAR, white},                                                                        // teapot
        {GL_AMBIENT, {1.0f, 0.0f, 0.0f, 0.2f}}, {GL_DIFFUSE, {1.0f, 0.0f, 0.0f, 0.6f}},
        {GL_SPECULAR, white},                                                                        // surface
    };
    // clang-format on
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(fv[i]->args[1], double(expected[i].pname)) << "material " << i;
        EXPECT_EQ(fv[i]->data, expected[i].value) << "material " << i;
    }
    const double shininess[5] = {16, 64, 64, 64, 128};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(f[i]->args[1], double(GL_SHININESS));
        EXPECT_EQ(f[i]->args[2], shininess[i]) << "shininess " << i;
    }

    // Each group's materials start right after an empty glCallLists, which makes Mesa's list compiler
    // forget the materials it recorded (else the easel and teapot would replay with the default one).
    std::vector<std::size_t> groupStarts;
    for (std::size_t i = 1; i < glrec::calls.size(); ++i) {
        const std::string& n = glrec::calls[i].name;
        const std::string& before = glrec::calls[i - 1].name;
        if (n == "glMaterialfv" && before != "glMaterialfv" && before != "glMaterialf") {
            groupStarts.push_back(i);
            EXPECT_EQ(before, "glCallLists") << "call " << i;
            EXPECT_EQ(glrec::calls[i - 1].args.at(0), 0.0) << "call " << i;
        }
    }
    EXPECT_EQ(groupStarts.size(), 5u);
    EXPECT_EQ(glrec::count("glCallLists"), 5u);
}

// The lights are placed first, and each unlit white marker sits exactly on its light.
TEST_F(SceneTest, LightMarkersSitOnTheLightPositions) {
    ASSERT_GE(glrec::calls.size(), 5u);
    const glrec::Call& l0 = glrec::calls[0];
    const glrec::Call& l1 = glrec::calls[1];
    EXPECT_EQ(l0.name, "glLightfv");
    EXPECT_EQ(l0.args, (Args{GL_LIGHT0, GL_POSITION}));
    EXPECT_EQ(l0.data, (std::vector<float>{0.0f, 5.0f, 0.0f, 1.0f}));
    EXPECT_EQ(l1.args, (Args{GL_LIGHT1, GL_POSITION}));
    EXPECT_EQ(l1.data, (std::vector<float>{8.0f, 5.0f, 0.0f, 1.0f}));
    EXPECT_EQ(glrec::calls[2].name, "glPushAttrib");
    EXPECT_EQ(glrec::calls[2].args[0], double(GL_LIGHTING_BIT));
    EXPECT_EQ(glrec::calls[3].name, "glDisable");
    EXPECT_EQ(glrec::calls[3].args[0], double(GL_LIGHTING));
    EXPECT_EQ(glrec::calls[4].name, "glColor3f");
    EXPECT_EQ(glrec::calls[4].args, (Args{1, 1, 1}));

    std::vector<Placement> p = placements();
    ASSERT_GE(p.size(), 2u);
    const glrec::Call* lights[2] = {&l0, &l1};
    for (int m = 0; m < 2; ++m) {
        ASSERT_EQ(p[m].transforms.size(), 1u);
        const Args& t = p[m].transforms[0]->args;
        EXPECT_EQ(t, (Args{lights[m]->data[0], lights[m]->data[1], lights[m]->data[2]})) << "marker " << m;
    }
    // Lighting comes back (the attribute pop) before the floor's material.
    std::size_t pop = glrec::find("glPopAttrib");
    EXPECT_LT(pop, glrec::find("glMaterialfv"));
    EXPECT_GT(pop, p[1].push);
}

// The legs stand at absolute positions, each its own placement, scaled to 0.1 x 2 x 0.1.
TEST_F(SceneTest, LegsArePlacedAbsolutely) {
    std::vector<Args> legs;
    for (const Placement& p : placements()) {
        if (p.transforms.size() == 2 && p.transforms[1]->args == Args{0.1, 2.0, 0.1}) {
            EXPECT_EQ(p.transforms[0]->name, "glTranslated");
            legs.push_back(p.transforms[0]->args);
        }
    }
    EXPECT_EQ(legs, (std::vector<Args>{{2, 1, 1.5}, {-2, 1, 1.5}, {2, 1, -1.5}, {-2, 1, -1.5}}));
}

// Every placement apart from the floor's cubes, in drawing order: its transforms and what it draws there
// (a cube of the given edge, read from its corners, or the teapot of the given size); the floor's cubes
// have an edge of 0.98.
TEST_F(SceneTest, EveryPlacementHasItsTransformsAndShape) {
    auto text = [](double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", v);
        return std::string(buf);
    };
    std::vector<std::string> got;
    std::string floorCube;
    for (const Placement& p : placements()) {
        std::string line;
        for (const glrec::Call* t : p.transforms) {
            line += t->name.substr(2, 1);
            for (double a : t->args) {
                line += " " + text(a);
            }
            line += "; ";
        }
        // What is drawn up to the placement's own pop.
        double extent = 0;
        std::string shape = "-";
        int depth = 0;
        for (std::size_t i = p.push; i < glrec::calls.size(); ++i) {
            const glrec::Call& c = glrec::calls[i];
            depth += c.name == "glPushMatrix" ? 1 : c.name == "glPopMatrix" ? -1 : 0;
            if (depth == 0) {
                break;
            }
            if (c.name == "glVertex3fv") {
                for (float v : c.data) {
                    extent = std::max(extent, 2.0 * std::abs(double(v)));
                }
                shape = "cube " + text(extent);
            } else if (c.name == "glScalef" && shape == "-") {
                shape = "teapot " + text(2.0 * c.args[0]);
            }
        }
        if (p.transforms.size() == 1 && p.transforms[0]->args[1] == -0.5) {
            floorCube = shape;
            continue;
        }
        got.push_back(line + shape);
    }
    const std::vector<std::string> expected = {
        "T 0 5 0; cube 0.1",
        "T 8 5 0; cube 0.1",
        "T 2 1 1.5; S 0.1 2 0.1; cube 1",
        "T -2 1 1.5; S 0.1 2 0.1; cube 1",
        "T 2 1 -1.5; S 0.1 2 0.1; cube 1",
        "T -2 1 -1.5; S 0.1 2 0.1; cube 1",
        "T 0 2 0; -",
        "T 1.5 2.52 -0.8; R -60 0 1 0; R -70 0 0 1; S 1 0.02 0.66; cube 1",
        "T 1.44 2.35 -0.92; R -60 0 1 0; R -100 0 0 1; S 0.6 0.02 0.2; cube 1",
        "T 1.51 2.52 -0.78; R 30 0 1 0; R -20 1 0 0; S 0.26 0.45 1; -",
        "T -1 2.45 1; R 40 0 1 0; S 0.5 0.5 0.5; teapot 1",
        "T 8 2.45 0; -",
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(floorCube, "cube 0.98");
}

// The table top: wood bound with the decal mode, lifted to y = 2, and 24 texture
// coordinate and vertex pairs in six separate quads.
TEST_F(SceneTest, TableTopHas24TexturedPairs) {
    std::size_t bind = findWith("glBindTexture", {GL_TEXTURE_2D, 11});
    ASSERT_LT(bind, glrec::calls.size());
    EXPECT_EQ(glrec::calls[bind - 2].name, "glEnable");
    EXPECT_EQ(glrec::calls[bind - 2].args[0], double(GL_TEXTURE_2D));
    EXPECT_EQ(glrec::calls[bind - 1].args, (Args{GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, 8449.0}));
    EXPECT_EQ(glrec::calls[bind + 1].name, "glPushMatrix");
    EXPECT_EQ(glrec::calls[bind + 2].args, (Args{0, 2, 0}));

    // clang-format off
    const float expected[24][5] = {
        {4, 0, -2.5, 0.05, -2}, {4, 4, 2.5, 0.05, -2}, {0, 4, 2.5, 0.05, 2}, {0, 0, -2.5, 0.05, 2},
        {4, 0, -2.5, -0.05, -2}, {4, 4, 2.5, -0.05, -2}, {0, 4, 2.5, -0.05, 2}, {0, 0, -2.5, -0.05, 2},
        {0, 0, -2.5, -0.05, -2}, {0.1, 0, -2.5, 0.05, -2}, {0.1, 4, 2.5, 0.05, -2}, {0, 4, 2.5, -0.05, -2},
        {0, 0, -2.5, -0.05, 2}, {0.1, 0, -2.5, 0.05, 2}, {0.1, 4, 2.5, 0.05, 2}, {0, 4, 2.5, -0.05, 2},
        {0, 0, -2.5, -0.05, 2}, {4, 0, -2.5, -0.05, -2}, {4, 0.1, -2.5, 0.05, -2}, {0, 0.1, -2.5, 0.05, 2},
        {0, 0, 2.5, -0.05, 2}, {4, 0, 2.5, -0.05, -2}, {4, 0.1, 2.5, 0.05, -2}, {0, 0.1, 2.5, 0.05, 2},
    };
    // clang-format on
    std::size_t i = bind + 3;
    for (int q = 0; q < 6; ++q) {
        ASSERT_EQ(glrec::calls[i].name, "glBegin") << glrec::dump(bind, i + 2);
        EXPECT_EQ(glrec::calls[i].args[0], double(GL_QUADS));
        ++i;
        for (int v = 0; v < 4; ++v, i += 2) {
            const float* e = expected[q * 4 + v];
            SCOPED_TRACE("quad " + std::to_string(q) + " vertex " + std::to_string(v));
            ASSERT_EQ(glrec::calls[i].name, "glTexCoord2f");
            ASSERT_EQ(glrec::calls[i + 1].name, "glVertex3f");
            EXPECT_EQ(glrec::calls[i].args, (Args{e[0], e[1]}));
            EXPECT_EQ(glrec::calls[i + 1].args, (Args{e[2], e[3], e[4]}));
        }
        ASSERT_EQ(glrec::calls[i].name, "glEnd");
        ++i;
    }
    EXPECT_EQ(glrec::calls[i].name, "glPopMatrix");
    EXPECT_EQ(glrec::calls[i + 1].name, "glDisable");
    EXPECT_EQ(glrec::calls[i + 1].args[0], double(GL_TEXTURE_2D));
}

// The picture: placed, textured with the photograph, texture row 0 along its bottom edge.
TEST_F(SceneTest, PictureIsUprightOnItsQuad) {
    std::size_t bind = findWith("glBindTexture", {GL_TEXTURE_2D, 12});
    ASSERT_LT(bind, glrec::calls.size());
    EXPECT_EQ(glrec::calls[bind - 1].args, (Args{GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, 8449.0}));
    EXPECT_EQ(glrec::calls[bind - 2].args[0], double(GL_TEXTURE_2D));
    std::size_t push = bind - 7;
    ASSERT_EQ(glrec::calls[push].name, "glPushMatrix") << glrec::dump(push, bind + 1);
    EXPECT_EQ(glrec::calls[push + 1].args, (Args{1.51, 2.52, -0.78}));
    EXPECT_EQ(glrec::calls[push + 2].args, (Args{30, 0, 1, 0}));
    EXPECT_EQ(glrec::calls[push + 3].args, (Args{-20, 1, 0, 0}));
    EXPECT_EQ(glrec::calls[push + 4].args, (Args{0.26, 0.45, 1}));
    ASSERT_EQ(glrec::calls[bind + 1].name, "glBegin");
    for (int v = 0; v < 4; ++v) {
        const glrec::Call& t = glrec::calls[bind + 2 + 2 * v];
        const glrec::Call& p = glrec::calls[bind + 3 + 2 * v];
        ASSERT_EQ(t.name, "glTexCoord2f");
        ASSERT_EQ(p.name, "glVertex3f");
        // s follows x and t follows y over the whole image.
        EXPECT_EQ(p.args[0], 2 * t.args[0] - 1) << "vertex " << v;
        EXPECT_EQ(p.args[1], 2 * t.args[1] - 1) << "vertex " << v;
        EXPECT_EQ(p.args[2], 0.0);
    }
    EXPECT_EQ(glrec::calls[bind + 10].name, "glEnd");
    EXPECT_EQ(glrec::calls[bind + 11].args, (Args{GL_TEXTURE_2D}));
    EXPECT_EQ(glrec::calls[bind + 12].name, "glPopMatrix");
    // Texturing is switched on only for the two textured parts, and off after each.
    std::size_t enables = 0;
    std::size_t disables = 0;
    for (const glrec::Call& c : glrec::calls) {
        enables += c.name == "glEnable" && c.args[0] == GL_TEXTURE_2D ? 1 : 0;
        disables += c.name == "glDisable" && c.args[0] == GL_TEXTURE_2D ? 1 : 0;
    }
    EXPECT_EQ(enables, 2u);
    EXPECT_EQ(disables, 2u);
}

// The translucent surface comes last: blending inside a colour-and-lighting push, the
// control net row after row, a 20 by 20 grid evaluated as filled cells.
TEST_F(SceneTest, TranslucentSurfaceMapGridAndMesh) {
    std::size_t push = findWith("glPushAttrib", {GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT});
    ASSERT_LT(push, glrec::calls.size());
    EXPECT_EQ(push, glrec::calls.size() - 16) << glrec::dump(push);
    EXPECT_EQ(glrec::calls[push + 2].args, (Args{8, 2.45, 0}));
    EXPECT_EQ(glrec::calls[push + 3].args, (Args{GL_BLEND}));
    EXPECT_EQ(glrec::calls[push + 3].name, "glEnable");

    std::size_t map = glrec::find("glMap2f", push);
    ASSERT_LT(map, glrec::calls.size());
    const glrec::Call& m = glrec::calls[map];
    EXPECT_EQ(m.args, (Args{GL_MAP2_VERTEX_3, 0, 1, 3, 4, 0, 1, 12, 4}));
    ASSERT_EQ(m.data.size(), 48u);
    const float z[4][4] = {{4, 2, -1, 2}, {1, 3, 0, -1}, {4, 0, 3, 4}, {-2, -2, 0, -1}};
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            const float* p = &m.data[std::size_t(row * 12 + col * 3)];
            EXPECT_EQ(p[0], -1.5f + float(col)) << row << "," << col;
            EXPECT_EQ(p[1], -1.5f + float(row)) << row << "," << col;
            EXPECT_EQ(p[2], z[row][col]) << row << "," << col;
        }
    }
    EXPECT_EQ(glrec::calls[map + 1].args, (Args{GL_MAP2_VERTEX_3}));
    EXPECT_EQ(glrec::calls[map + 2].args, (Args{GL_AUTO_NORMAL}));
    EXPECT_EQ(glrec::calls[map + 3].name, "glMapGrid2f");
    EXPECT_EQ(glrec::calls[map + 3].args, (Args{20, 0, 1, 20, 0, 1}));
    EXPECT_EQ(glrec::calls[map + 4].name, "glEvalMesh2");
    EXPECT_EQ(glrec::calls[map + 4].args, (Args{GL_FILL, 0, 20, 0, 20}));
    EXPECT_EQ(glrec::calls[map + 5].name, "glPopMatrix");
    EXPECT_EQ(glrec::calls[map + 6].name, "glPopAttrib");
}

}  // namespace
