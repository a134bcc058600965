// init_test.cpp - the render set-up: its call sequence, the state it leaves, and the
// calls made with no context or no display list available.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bitmap_font.h"
#include "fake_platform.h"
#include "gl_recorder.h"
#include "kelvor.h"
#include "kvr_window.h"

namespace {

class InitTest : public ::testing::Test {
protected:
    void SetUp() override {
        glrec::reset();
        fake::reset();
        doneInit = 0;
        sceneId = 0;
        woodTextureRef = 0;
        castleHillTextureRef = 0;
        bitmap_font_offset = 0;
    }
    void TearDown() override {
        doneInit = 0;
        sceneId = 0;
        woodTextureRef = 0;
        castleHillTextureRef = 0;
        bitmap_font_offset = 0;
    }
};

// A call as name plus arguments, for comparing the fixed part of the sequence.
std::string describe(const glrec::Call& c) {
    std::string s = c.name + "(";
    for (std::size_t i = 0; i < c.args.size(); ++i) {
        s += (i ? "," : "") + std::to_string(c.args[i]);
    }
    s += ")";
    if (!c.data.empty()) {
        s += "{";
        for (std::size_t i = 0; i < c.data.size(); ++i) {
            s += (i ? "," : "") + std::to_string(c.data[i]);
        }
        s += "}";
    }
    return s;
}

glrec::Call make(const char* name, std::vector<double> args, std::vector<float> data = {}) {
    glrec::Call c;
    c.name = name;
    c.args = args;
    c.data = data;
    return c;
}

// Lights, fog, depth, blending, clear colour, unpacking and both textures, in order,
// then the font, the normal switches and the scene list around the scene.
TEST_F(InitTest, IssuesTheSetUpSequenceInOrder) {
    EXPECT_EQ(onInit(), 1);

    std::vector<glrec::Call> expected = {
        make("glEnable", {GL_LIGHTING}),
        make("glLightModeli", {GL_LIGHT_MODEL_LOCAL_VIEWER, 1}),
    };
    for (GLenum light : {GL_LIGHT0, GL_LIGHT1, GL_LIGHT2}) {
        expected.push_back(make("glEnable", {double(light)}));
        expected.push_back(make("glLightfv", {double(light), GL_AMBIENT}, {0.2f, 0.2f, 0.2f, 1.0f}));
        expected.push_back(make("glLightfv", {double(light), GL_DIFFUSE}, {0.8f, 0.8f, 0.8f, 1.0f}));
        expected.push_back(make("glLightfv", {double(light), GL_SPECULAR}, {1.0f, 1.0f, 1.0f, 1.0f}));
        expected.push_back(make("glLightf", {double(light), GL_LINEAR_ATTENUATION, 0.3f}));
    }
    const std::vector<glrec::Call> rest = {
        make("glEnable", {GL_FOG}),
        make("glFogi", {GL_FOG_MODE, GL_EXP}),
        make("glFogfv", {GL_FOG_COLOR}, {0.0f, 0.0f, 0.0f, 1.0f}),
        make("glFogf", {GL_FOG_DENSITY, 0.05f}),
        make("glEnable", {GL_DEPTH_TEST}),
        make("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}),
        make("glClearColor", {0, 0, 0, 0}),
        make("glPixelStorei", {GL_UNPACK_ALIGNMENT, 4}),
        make("glGenTextures", {1}),
        make("glBindTexture", {GL_TEXTURE_2D, 1}),
        make("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}),
        make("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR}),
        make("glTexImage2D", {GL_TEXTURE_2D, 0, GL_RGBA, 64, 128, 0, GL_RGBA, GL_UNSIGNED_BYTE}),
        make("glGenTextures", {1}),
        make("glBindTexture", {GL_TEXTURE_2D, 2}),
        make("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT}),
        make("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT}),
        make("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR}),
        make("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR}),
        make("glTexImage2D", {GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE}),
    };
    expected.insert(expected.end(), rest.begin(), rest.end());

    ASSERT_GT(glrec::calls.size(), expected.size()) << glrec::dump();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(describe(glrec::calls[i]), describe(expected[i])) << "call " << i;
    }
    EXPECT_EQ(castleHillTextureRef, 1u);
    EXPECT_EQ(woodTextureRef, 2u);

    // The uploads carry the compiled-in images.
    const glrec::Call& picture = glrec::calls[expected.size() - 8];
    const glrec::Call& wood = glrec::calls[expected.size() - 1];
    ASSERT_EQ(picture.bytes.size(), sizeof castleHillImageData);
    ASSERT_EQ(wood.bytes.size(), sizeof woodImageData);
    EXPECT_EQ(std::memcmp(picture.bytes.data(), castleHillImageData, sizeof castleHillImageData), 0);
    EXPECT_EQ(std::memcmp(wood.bytes.data(), woodImageData, sizeof woodImageData), 0);

    // Then the font (its lists come from its own glGenLists), the two normal switches and the
    // scene, compiled into a list of its own, closing the sequence.
    const std::string enableAutoNormal = describe(make("glEnable", {GL_AUTO_NORMAL}));
    std::size_t autoNormal = expected.size();
    while (autoNormal < glrec::calls.size() && describe(glrec::calls[autoNormal]) != enableAutoNormal) {
        ++autoNormal;
    }
    ASSERT_LT(autoNormal + 4, glrec::calls.size()) << glrec::dump(expected.size());
    EXPECT_GT(autoNormal, expected.size()) << "the font issued nothing";
    EXPECT_NE(bitmap_font_offset, 0u);
    EXPECT_EQ(describe(glrec::calls[autoNormal + 1]), describe(make("glEnable", {GL_NORMALIZE})));
    EXPECT_EQ(describe(glrec::calls[autoNormal + 2]), describe(make("glGenLists", {1})));
    ASSERT_NE(sceneId, 0u);
    EXPECT_NE(sceneId, bitmap_font_offset);
    EXPECT_EQ(describe(glrec::calls[autoNormal + 3]),
              describe(make("glNewList", {double(sceneId), GL_COMPILE})));
    EXPECT_EQ(glrec::calls.back().name, "glEndList");
    for (std::size_t i = autoNormal + 4; i + 1 < glrec::calls.size(); ++i) {
        ASSERT_EQ(glrec::calls[i].list, sceneId) << "call " << i << " outside the scene list";
    }
    EXPECT_GT(glrec::calls.size(), autoNormal + 100) << "the scene list is (nearly) empty";
    EXPECT_EQ(doneInit, 1);
}

// What the set-up leaves for the frames: the right switches on, blending and texturing off,
// the wood bound, unpack alignment 1 after the font, and the two textures distinct.
TEST_F(InitTest, LeavesTheFixedStateForTheFrames) {
    onInit();
    std::map<double, bool> enabled;
    double boundTexture = -1;
    double alignment = -1;
    for (const glrec::Call& c : glrec::calls) {
        if (c.list != 0 || c.name == "glNewList") {
            continue;  // compiled, not executed
        }
        if (c.name == "glEnable") {
            enabled[c.args[0]] = true;
        } else if (c.name == "glDisable") {
            enabled[c.args[0]] = false;
        } else if (c.name == "glBindTexture") {
            boundTexture = c.args[1];
        } else if (c.name == "glPixelStorei" && c.args[0] == GL_UNPACK_ALIGNMENT) {
            alignment = c.args[1];
        }
    }
    for (GLenum cap : {GL_LIGHTING, GL_LIGHT0, GL_LIGHT1, GL_LIGHT2, GL_FOG, GL_DEPTH_TEST, GL_AUTO_NORMAL,
                       GL_NORMALIZE}) {
        EXPECT_TRUE(enabled[cap]) << "cap " << cap;
    }
    EXPECT_FALSE(enabled[GL_BLEND]);
    EXPECT_FALSE(enabled[GL_TEXTURE_2D]);
    EXPECT_EQ(boundTexture, double(woodTextureRef));
    EXPECT_EQ(alignment, 1.0);
    EXPECT_NE(woodTextureRef, 0u);
    EXPECT_NE(castleHillTextureRef, 0u);
    EXPECT_NE(woodTextureRef, castleHillTextureRef);
}

// With no context current the set-up still succeeds and marks itself done, and every name
// stays 0; a second call with a context builds everything anew and still succeeds.
TEST_F(InitTest, WithoutContextOnlyMarksDoneAndASecondCallRebuilds) {
    glrec::contextCurrent = false;
    EXPECT_EQ(onInit(), 1);
    EXPECT_EQ(doneInit, 1);
    EXPECT_EQ(sceneId, 0u);
    EXPECT_EQ(woodTextureRef, 0u);
    EXPECT_EQ(castleHillTextureRef, 0u);

    glrec::contextCurrent = true;
    EXPECT_EQ(onInit(), 1);
    GLuint firstScene = sceneId;
    GLuint firstWood = woodTextureRef;
    EXPECT_NE(firstScene, 0u);
    EXPECT_EQ(onInit(), 1);
    EXPECT_NE(sceneId, firstScene);
    EXPECT_NE(woodTextureRef, firstWood);
    // The second list is compiled with the second call's textures.
    std::size_t secondList = 0;
    for (std::size_t i = 0; i < glrec::calls.size(); ++i) {
        if (glrec::calls[i].name == "glNewList" && glrec::calls[i].args[0] == double(sceneId)) {
            secondList = i;
        }
    }
    ASSERT_NE(secondList, 0u);
    bool bindsNewWood = false;
    for (std::size_t i = secondList; i < glrec::calls.size(); ++i) {
        const glrec::Call& c = glrec::calls[i];
        bindsNewWood = bindsNewWood || (c.name == "glBindTexture" && c.args[1] == double(woodTextureRef) &&
                                        c.list == sceneId);
    }
    EXPECT_TRUE(bindsNewWood);
}

// When no list name is available the scene is not drawn straight into the frame instead.
TEST_F(InitTest, NoSceneCommandsWhenNoListCanBeMade) {
    glrec::genListsFails = true;
    EXPECT_EQ(onInit(), 1);
    EXPECT_EQ(sceneId, 0u);
    EXPECT_EQ(doneInit, 1);
    EXPECT_EQ(glrec::count("glNewList"), 0u);
    EXPECT_EQ(glrec::count("glEndList"), 0u);
    EXPECT_EQ(glrec::count("glMap2f"), 0u);
    for (const glrec::Call* c : glrec::named("glLightfv")) {
        EXPECT_NE(c->args[1], double(GL_POSITION));
    }
}

}  // namespace
