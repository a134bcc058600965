// shapes_test.cpp - the GL commands the cube and teapot routines issue, checked on the call recorder.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "gl_recorder.h"
#include "kvr_platform.h"
#include "shapes.h"

namespace {

using Vec3 = std::array<double, 3>;

// One glBegin/glEnd group of a cube: its mode, normal, and four (texture coordinate, vertex) pairs.
struct Face {
    double mode = -1;
    Vec3 normal{};
    std::vector<std::array<double, 2>> texCoords;
    std::vector<Vec3> vertices;
    std::string sequence;  // the call names inside the group, for failure messages
};

Vec3 sub(const Vec3& a, const Vec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Splits the recorded log into glBegin/glEnd groups; fails the test on anything outside a group.
std::vector<Face> recordedFaces() {
    std::vector<Face> result;
    Face* open = nullptr;
    for (const glrec::Call& c : glrec::calls) {
        if (c.name == "glBegin") {
            EXPECT_EQ(open, nullptr) << "nested glBegin";
            result.push_back(Face());
            open = &result.back();
            open->mode = c.args.at(0);
            continue;
        }
        if (c.name == "glEnd") {
            EXPECT_NE(open, nullptr) << "glEnd without glBegin";
            open = nullptr;
            continue;
        }
        if (open == nullptr) {
            ADD_FAILURE() << "the cube issued " << c.name << " outside a glBegin/glEnd group";
            continue;
        }
        open->sequence += c.name + " ";
        if (c.name == "glNormal3fv" && c.data.size() == 3) {
            open->normal = {c.data[0], c.data[1], c.data[2]};
        } else if (c.name == "glTexCoord2f") {
            open->texCoords.push_back({c.args.at(0), c.args.at(1)});
        } else if (c.name == "glVertex3fv" && c.data.size() == 3) {
            open->vertices.push_back({c.data[0], c.data[1], c.data[2]});
        }
    }
    EXPECT_EQ(open, nullptr) << "group left open";
    return result;
}

// Depth of the named push/pop pair over the whole log: fails on a pop below zero, returns the end depth.
int stackDepthAtEnd(const std::string& push, const std::string& pop) {
    int depth = 0;
    for (const glrec::Call& c : glrec::calls) {
        if (c.name == push) {
            ++depth;
        } else if (c.name == pop) {
            --depth;
            EXPECT_GE(depth, 0) << pop << " without " << push;
        }
    }
    return depth;
}

class ShapesTest : public ::testing::Test {
protected:
    void SetUp() override { glrec::reset(); }
    void TearDown() override { glrec::reset(); }
};

// Faces 5 down to 0, each a counter-clockwise quad on its own plane with the texture's corners in order.
TEST_F(ShapesTest, SolidCubeDrawsSixOutwardQuadsWithWholeTexture) {
    // clang-format off
    const Vec3 expectedNormals[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
    // clang-format on
    const std::array<double, 2> expectedTex[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    for (double size : {1.0, 2.5, 0.125}) {
        SCOPED_TRACE("size " + std::to_string(size));
        glrec::reset();
        glutSolidCube(size);
        std::vector<Face> faces = recordedFaces();
        ASSERT_EQ(faces.size(), 6u);
        const double h = size / 2;
        std::vector<Vec3> corners;
        for (int i = 0; i < 6; ++i) {
            const Face& f = faces[std::size_t(i)];
            SCOPED_TRACE("group " + std::to_string(i));
            EXPECT_EQ(f.mode, double(GL_QUADS));
            // The normal comes first, then each texture coordinate before its vertex.
            EXPECT_EQ(
                f.sequence,
                "glNormal3fv glTexCoord2f glVertex3fv glTexCoord2f glVertex3fv glTexCoord2f glVertex3fv "
                "glTexCoord2f glVertex3fv ");
            EXPECT_EQ(f.normal, expectedNormals[i]);
            ASSERT_EQ(f.vertices.size(), 4u);
            ASSERT_EQ(f.texCoords.size(), 4u);
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(f.texCoords[std::size_t(k)], expectedTex[k]);
                const Vec3& v = f.vertices[std::size_t(k)];
                for (double c : v) {
                    EXPECT_FLOAT_EQ(std::fabs(c), h);
                }
                // Every corner lies on the face's plane, on the side its normal points to.
                EXPECT_FLOAT_EQ(dot(v, f.normal), h);
                corners.push_back(v);
            }
            // Counter-clockwise seen from outside: both triangles of the quad turn towards the normal.
            const Vec3& a = f.vertices[0];
            EXPECT_GT(dot(cross(sub(f.vertices[1], a), sub(f.vertices[2], a)), f.normal), 0.0);
            EXPECT_GT(dot(cross(sub(f.vertices[2], a), sub(f.vertices[3], a)), f.normal), 0.0);
            // The four corners are four different corners of the cube.
            for (int k = 0; k < 4; ++k) {
                for (int m = k + 1; m < 4; ++m) {
                    EXPECT_NE(f.vertices[std::size_t(k)], f.vertices[std::size_t(m)]);
                }
            }
        }
        // Each of the eight corners is shared by exactly three faces.
        for (const Vec3& c : corners) {
            int uses = 0;
            for (const Vec3& d : corners) {
                uses += (c == d) ? 1 : 0;
            }
            EXPECT_EQ(uses, 3);
        }
    }
}

// The outline differs from the solid cube in the primitive mode alone.
TEST_F(ShapesTest, WireCubeIssuesTheSolidCubesVerticesAsLineLoops) {
    glutSolidCube(1.5);
    std::vector<glrec::Call> solid = glrec::calls;
    glrec::reset();
    glutWireCube(1.5);
    ASSERT_EQ(glrec::calls.size(), solid.size());
    int groups = 0;
    for (std::size_t i = 0; i < solid.size(); ++i) {
        const glrec::Call& w = glrec::calls[i];
        EXPECT_EQ(w.name, solid[i].name) << "call " << i;
        if (w.name == "glBegin") {
            ++groups;
            EXPECT_EQ(w.args.at(0), double(GL_LINE_LOOP));
        } else {
            EXPECT_EQ(w.args, solid[i].args) << "call " << i << " " << w.name;
            EXPECT_EQ(w.data, solid[i].data) << "call " << i << " " << w.name;
        }
    }
    EXPECT_EQ(groups, 6);
}

// The cube needs no state of its own, and a degenerate or negative size is drawn, not rejected.
TEST_F(ShapesTest, CubeTouchesNoStateAndAcceptsAnySize) {
    glutSolidCube(0.0);
    std::vector<Face> faces = recordedFaces();
    ASSERT_EQ(faces.size(), 6u);
    for (const Face& f : faces) {
        for (const Vec3& v : f.vertices) {
            EXPECT_EQ(v, (Vec3{0, 0, 0}));
        }
    }
    glrec::reset();
    glutSolidCube(-2.0);
    faces = recordedFaces();
    ASSERT_EQ(faces.size(), 6u);
    // The first face is corner-for-corner the size 2 cube's, mirrored through the origin.
    ASSERT_EQ(faces[0].vertices.size(), 4u);
    EXPECT_EQ(faces[0].vertices[0], (Vec3{-1, -1, 1}));
    for (const glrec::Call& c : glrec::calls) {
        EXPECT_TRUE(c.name == "glBegin" || c.name == "glEnd" || c.name == "glNormal3fv" ||
                    c.name == "glTexCoord2f" || c.name == "glVertex3fv")
            << c.name;
    }
}

// The set-up, the per-patch order of maps, grid and meshes, and the restore of the solid teapot.
TEST_F(ShapesTest, SolidTeapotEvaluatesThirtyTwoFilledPatchesInOrder) {
    glutSolidTeapot(1.0);
    const std::vector<glrec::Call>& c = glrec::calls;
    ASSERT_GE(c.size(), 10u) << glrec::dump();

    std::vector<std::string> prologue;
    for (std::size_t i = 0; i < 9; ++i) {
        prologue.push_back(c[i].name);
    }
    EXPECT_EQ(prologue,
              (std::vector<std::string>{"glPushAttrib", "glEnable", "glEnable", "glEnable", "glEnable",
                                        "glPushMatrix", "glRotatef", "glScalef", "glTranslatef"}))
        << glrec::dump(0, 12);
    EXPECT_EQ(c[0].args, (std::vector<double>{double(0x12000)}));
    EXPECT_EQ(c[0].args, (std::vector<double>{double(GL_ENABLE_BIT | GL_EVAL_BIT)}));
    EXPECT_EQ(c[1].args.at(0), double(GL_AUTO_NORMAL));
    EXPECT_EQ(c[2].args.at(0), double(GL_NORMALIZE));
    EXPECT_EQ(c[3].args.at(0), double(GL_MAP2_VERTEX_3));
    EXPECT_EQ(c[4].args.at(0), double(GL_MAP2_TEXTURE_COORD_2));
    EXPECT_EQ(c[6].args, (std::vector<double>{270, 1, 0, 0}));
    EXPECT_EQ(c[7].args, (std::vector<double>{0.5, 0.5, 0.5}));
    EXPECT_EQ(c[8].args, (std::vector<double>{0, 0, -1.5}));
    EXPECT_EQ(c[c.size() - 2].name, "glPopMatrix");
    EXPECT_EQ(c.back().name, "glPopAttrib");

    // Patch by patch: texture map, first vertex map, grid, mesh, then one more (map, mesh) pair for the
    // mirror image in y = 0, and for the six body patches two more for the other two copies.
    std::string body;
    for (std::size_t i = 9; i + 2 < c.size(); ++i) {
        body += c[i].name + "\n";
    }
    std::string expected;
    for (int patch = 0; patch < 10; ++patch) {
        expected += "glMap2f\nglMap2f\nglMapGrid2f\nglEvalMesh2\nglMap2f\nglEvalMesh2\n";
        if (patch < 6) {
            expected += "glMap2f\nglEvalMesh2\nglMap2f\nglEvalMesh2\n";
        }
    }
    EXPECT_EQ(body, expected);

    int textureMaps = 0;
    int vertexMaps = 0;
    for (const glrec::Call* m : glrec::named("glMap2f")) {
        if (m->args.at(0) == double(GL_MAP2_TEXTURE_COORD_2)) {
            ++textureMaps;
            EXPECT_EQ(m->args,
                      (std::vector<double>{double(GL_MAP2_TEXTURE_COORD_2), 0, 1, 2, 2, 0, 1, 4, 2}));
            // Net point (u index a, v index b) holds (s, t) = (a, b): the identity map.
            EXPECT_EQ(m->data, (std::vector<float>{0, 0, 1, 0, 0, 1, 1, 1}));
        } else {
            ++vertexMaps;
            EXPECT_EQ(m->args, (std::vector<double>{double(GL_MAP2_VERTEX_3), 0, 1, 3, 4, 0, 1, 12, 4}));
            EXPECT_EQ(m->data.size(), 48u);
        }
    }
    EXPECT_EQ(textureMaps, 10);
    EXPECT_EQ(vertexMaps, 32);
    ASSERT_EQ(glrec::count("glMapGrid2f"), 10u);
    for (const glrec::Call* g : glrec::named("glMapGrid2f")) {
        EXPECT_EQ(g->args, (std::vector<double>{14, 0, 1, 14, 0, 1}));
    }
    ASSERT_EQ(glrec::count("glEvalMesh2"), 32u);
    for (const glrec::Call* e : glrec::named("glEvalMesh2")) {
        EXPECT_EQ(e->args, (std::vector<double>{double(GL_FILL), 0, 14, 0, 14}));
    }
}

// The wire frame is the same teapot on a coarser grid, evaluated as lines.
TEST_F(ShapesTest, WireTeapotEvaluatesThirtyTwoLinePatchesOnATenStepGrid) {
    glutSolidTeapot(1.0);
    std::vector<glrec::Call> solid = glrec::calls;
    glrec::reset();
    glutWireTeapot(1.0);
    ASSERT_EQ(glrec::calls.size(), solid.size());
    for (std::size_t i = 0; i < solid.size(); ++i) {
        const glrec::Call& w = glrec::calls[i];
        ASSERT_EQ(w.name, solid[i].name) << "call " << i;
        if (w.name == "glEvalMesh2") {
            EXPECT_EQ(w.args, (std::vector<double>{double(GL_LINE), 0, 10, 0, 10}));
        } else if (w.name == "glMapGrid2f") {
            EXPECT_EQ(w.args, (std::vector<double>{10, 0, 1, 10, 0, 1}));
        } else {
            EXPECT_EQ(w.args, solid[i].args) << "call " << i << " " << w.name;
            EXPECT_EQ(w.data, solid[i].data) << "call " << i << " " << w.name;
        }
    }
    EXPECT_EQ(glrec::count("glEvalMesh2"), 32u);
}

// Whatever the size, the teapot leaves the attribute and matrix stacks as it found them.
TEST_F(ShapesTest, TeapotBalancesTheAttributeAndMatrixStacks) {
    for (double size : {1.0, 3.0, 0.0, -2.0}) {
        SCOPED_TRACE("size " + std::to_string(size));
        glrec::reset();
        glutSolidTeapot(size);
        glutWireTeapot(size);
        EXPECT_EQ(stackDepthAtEnd("glPushAttrib", "glPopAttrib"), 0);
        EXPECT_EQ(stackDepthAtEnd("glPushMatrix", "glPopMatrix"), 0);
        // The scale is half the size, applied uniformly; no size is rejected.
        ASSERT_EQ(glrec::count("glScalef"), 2u);
        for (const glrec::Call* s : glrec::named("glScalef")) {
            EXPECT_EQ(s->args, (std::vector<double>{0.5 * size, 0.5 * size, 0.5 * size}));
        }
        // Only the pushed matrix is changed, and no enable is left behind.
        EXPECT_EQ(glrec::count("glLoadIdentity") + glrec::count("glLoadMatrixf") +
                      glrec::count("glMatrixMode") + glrec::count("glDisable"),
                  0u);
    }
}

}  // namespace
