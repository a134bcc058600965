// gl_recorder.cpp - records OpenGL and GLU calls instead of executing them.
#include "gl_recorder.h"

#include <cstdio>
#include <initializer_list>

#include "kvr_platform.h"

namespace glrec {

std::vector<Call> calls;
bool contextCurrent = true;
bool genListsFails = false;

namespace {
GLuint nextList = 1;
GLuint nextTexture = 1;
unsigned compilingList = 0;
Call scratch;

Call& rec(const char* name, std::initializer_list<double> args) {
    if (!contextCurrent) {
        scratch = Call();
        return scratch;
    }
    calls.push_back(Call());
    Call& c = calls.back();
    c.name = name;
    c.args.assign(args.begin(), args.end());
    c.list = compilingList;
    return c;
}

void copyFloats(Call& c, const GLfloat* v, std::size_t n) {
    if (v != nullptr) {
        c.data.assign(v, v + n);
    }
}

void copyBytes(Call& c, const void* p, std::size_t n) {
    if (p != nullptr) {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        c.bytes.assign(b, b + n);
    }
}

// Number of floats a vector parameter of a light, material or fog call holds.
std::size_t vectorSize(GLenum pname) {
    switch (pname) {
        case GL_AMBIENT:
        case GL_DIFFUSE:
        case GL_SPECULAR:
        case GL_POSITION:
        case GL_EMISSION:
        case GL_AMBIENT_AND_DIFFUSE:
        case GL_FOG_COLOR:
        case GL_LIGHT_MODEL_AMBIENT:
            return 4;
        case GL_SPOT_DIRECTION:
        case GL_COLOR_INDEXES:
            return 3;
        default:
            return 1;
    }
}

// Number of coordinates per control point of an evaluator target.
int mapComponents(GLenum target) {
    switch (target) {
        case GL_MAP2_VERTEX_3:
        case GL_MAP2_NORMAL:
        case GL_MAP2_TEXTURE_COORD_3:
            return 3;
        case GL_MAP2_VERTEX_4:
        case GL_MAP2_COLOR_4:
        case GL_MAP2_TEXTURE_COORD_4:
            return 4;
        case GL_MAP2_TEXTURE_COORD_2:
            return 2;
        case GL_MAP2_TEXTURE_COORD_1:
        case GL_MAP2_INDEX:
            return 1;
        default:
            return 0;
    }
}

std::size_t pixelBytes(GLenum format, GLenum type) {
    std::size_t components = 4;
    switch (format) {
        case GL_RGB:
            components = 3;
            break;
        case GL_LUMINANCE_ALPHA:
            components = 2;
            break;
        case GL_LUMINANCE:
        case GL_ALPHA:
        case GL_RED:
            components = 1;
            break;
        default:
            break;
    }
    return components * (type == GL_FLOAT ? 4 : 1);
}
}  // namespace

void reset() {
    calls.clear();
    contextCurrent = true;
    genListsFails = false;
    nextList = 1;
    nextTexture = 1;
    compilingList = 0;
}

std::size_t count(const std::string& name) {
    std::size_t n = 0;
    for (const Call& c : calls) {
        n += c.name == name ? 1 : 0;
    }
    return n;
}

std::vector<const Call*> named(const std::string& name) {
    std::vector<const Call*> out;
    for (const Call& c : calls) {
        if (c.name == name) {
            out.push_back(&c);
        }
    }
    return out;
}

std::size_t find(const std::string& name, std::size_t from) {
    for (std::size_t i = from; i < calls.size(); ++i) {
        if (calls[i].name == name) {
            return i;
        }
    }
    return calls.size();
}

std::string dump(std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < calls.size() && i < to; ++i) {
        const Call& c = calls[i];
        char buf[64];
        std::snprintf(buf, sizeof buf, "%5zu ", i);
        out += buf;
        out += c.name + "(";
        for (std::size_t a = 0; a < c.args.size(); ++a) {
            std::snprintf(buf, sizeof buf, "%s%g", a ? ", " : "", c.args[a]);
            out += buf;
        }
        if (!c.data.empty()) {
            out += " {";
            for (std::size_t a = 0; a < c.data.size() && a < 8; ++a) {
                std::snprintf(buf, sizeof buf, "%s%g", a ? ", " : "", static_cast<double>(c.data[a]));
                out += buf;
            }
            out += c.data.size() > 8 ? ", ...}" : "}";
        }
        out += ")\n";
    }
    return out;
}

}  // namespace glrec

using glrec::rec;

extern "C" {

// Primitives and vertex attributes.
void APIENTRY glBegin(GLenum mode) {
    rec("glBegin", {double(mode)});
}
void APIENTRY glEnd(void) {
    rec("glEnd", {});
}
void APIENTRY glVertex2f(GLfloat x, GLfloat y) {
    rec("glVertex2f", {x, y});
}
void APIENTRY glVertex2i(GLint x, GLint y) {
    rec("glVertex2i", {double(x), double(y)});
}
void APIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    rec("glVertex3f", {x, y, z});
}
void APIENTRY glVertex3d(GLdouble x, GLdouble y, GLdouble z) {
    rec("glVertex3d", {x, y, z});
}
void APIENTRY glVertex3fv(const GLfloat* v) {
    glrec::copyFloats(rec("glVertex3fv", {}), v, 3);
}
void APIENTRY glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
    rec("glNormal3f", {x, y, z});
}
void APIENTRY glNormal3fv(const GLfloat* v) {
    glrec::copyFloats(rec("glNormal3fv", {}), v, 3);
}
void APIENTRY glTexCoord2f(GLfloat s, GLfloat t) {
    rec("glTexCoord2f", {s, t});
}
void APIENTRY glTexCoord2fv(const GLfloat* v) {
    glrec::copyFloats(rec("glTexCoord2fv", {}), v, 2);
}
void APIENTRY glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    rec("glColor3f", {r, g, b});
}
void APIENTRY glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    rec("glColor4f", {r, g, b, a});
}
void APIENTRY glColor3ub(GLubyte r, GLubyte g, GLubyte b) {
    rec("glColor3ub", {double(r), double(g), double(b)});
}
void APIENTRY glRectf(GLfloat x1, GLfloat y1, GLfloat x2, GLfloat y2) {
    rec("glRectf", {x1, y1, x2, y2});
}

// Enables and state.
void APIENTRY glEnable(GLenum cap) {
    rec("glEnable", {double(cap)});
}
void APIENTRY glDisable(GLenum cap) {
    rec("glDisable", {double(cap)});
}
void APIENTRY glShadeModel(GLenum mode) {
    rec("glShadeModel", {double(mode)});
}
void APIENTRY glDepthFunc(GLenum func) {
    rec("glDepthFunc", {double(func)});
}
void APIENTRY glDepthMask(GLboolean flag) {
    rec("glDepthMask", {double(flag)});
}
void APIENTRY glCullFace(GLenum mode) {
    rec("glCullFace", {double(mode)});
}
void APIENTRY glFrontFace(GLenum mode) {
    rec("glFrontFace", {double(mode)});
}
void APIENTRY glPolygonMode(GLenum face, GLenum mode) {
    rec("glPolygonMode", {double(face), double(mode)});
}
void APIENTRY glLineWidth(GLfloat width) {
    rec("glLineWidth", {width});
}
void APIENTRY glHint(GLenum target, GLenum mode) {
    rec("glHint", {double(target), double(mode)});
}
void APIENTRY glBlendFunc(GLenum s, GLenum d) {
    rec("glBlendFunc", {double(s), double(d)});
}
void APIENTRY glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    rec("glClearColor", {r, g, b, a});
}
void APIENTRY glClear(GLbitfield mask) {
    rec("glClear", {double(mask)});
}
void APIENTRY glPixelStorei(GLenum pname, GLint param) {
    rec("glPixelStorei", {double(pname), double(param)});
}
void APIENTRY glFinish(void) {
    rec("glFinish", {});
}
void APIENTRY glFlush(void) {
    rec("glFlush", {});
}
GLenum APIENTRY glGetError(void) {
    rec("glGetError", {});
    return GL_NO_ERROR;
}
void APIENTRY glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,
                           GLvoid* pixels) {
    rec("glReadPixels", {double(x), double(y), double(w), double(h), double(format), double(type)});
    if (pixels != nullptr && w > 0 && h > 0) {
        unsigned char* p = static_cast<unsigned char*>(pixels);
        std::size_t n = std::size_t(w) * std::size_t(h) * glrec::pixelBytes(format, type);
        for (std::size_t i = 0; i < n; ++i) {
            p[i] = 0;
        }
    }
}

// Lights, materials and fog.
void APIENTRY glLightf(GLenum light, GLenum pname, GLfloat param) {
    rec("glLightf", {double(light), double(pname), param});
}
void APIENTRY glLighti(GLenum light, GLenum pname, GLint param) {
    rec("glLighti", {double(light), double(pname), double(param)});
}
void APIENTRY glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    glrec::copyFloats(rec("glLightfv", {double(light), double(pname)}), params, glrec::vectorSize(pname));
}
void APIENTRY glLightModeli(GLenum pname, GLint param) {
    rec("glLightModeli", {double(pname), double(param)});
}
void APIENTRY glLightModelfv(GLenum pname, const GLfloat* params) {
    glrec::copyFloats(rec("glLightModelfv", {double(pname)}), params, glrec::vectorSize(pname));
}
void APIENTRY glMaterialf(GLenum face, GLenum pname, GLfloat param) {
    rec("glMaterialf", {double(face), double(pname), param});
}
void APIENTRY glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
    glrec::copyFloats(rec("glMaterialfv", {double(face), double(pname)}), params, glrec::vectorSize(pname));
}
void APIENTRY glFogi(GLenum pname, GLint param) {
    rec("glFogi", {double(pname), double(param)});
}
void APIENTRY glFogf(GLenum pname, GLfloat param) {
    rec("glFogf", {double(pname), param});
}
void APIENTRY glFogfv(GLenum pname, const GLfloat* params) {
    glrec::copyFloats(rec("glFogfv", {double(pname)}), params, glrec::vectorSize(pname));
}

// Textures.
void APIENTRY glGenTextures(GLsizei n, GLuint* textures) {
    rec("glGenTextures", {double(n)});
    for (GLsizei i = 0; textures != nullptr && i < n; ++i) {
        textures[i] = glrec::contextCurrent ? glrec::nextTexture++ : 0;
    }
}
void APIENTRY glDeleteTextures(GLsizei n, const GLuint* textures) {
    glrec::Call& c = rec("glDeleteTextures", {double(n)});
    for (GLsizei i = 0; textures != nullptr && i < n; ++i) {
        c.args.push_back(textures[i]);
    }
}
void APIENTRY glBindTexture(GLenum target, GLuint texture) {
    rec("glBindTexture", {double(target), double(texture)});
}
void APIENTRY glTexParameteri(GLenum target, GLenum pname, GLint param) {
    rec("glTexParameteri", {double(target), double(pname), double(param)});
}
void APIENTRY glTexEnvf(GLenum target, GLenum pname, GLfloat param) {
    rec("glTexEnvf", {double(target), double(pname), param});
}
void APIENTRY glTexEnvi(GLenum target, GLenum pname, GLint param) {
    rec("glTexEnvi", {double(target), double(pname), double(param)});
}
void APIENTRY glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                           GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
    glrec::Call& c =
        rec("glTexImage2D", {double(target), double(level), double(internalFormat), double(width),
                             double(height), double(border), double(format), double(type)});
    if (width > 0 && height > 0) {
        glrec::copyBytes(c, pixels,
                         std::size_t(width) * std::size_t(height) * glrec::pixelBytes(format, type));
    }
}

// Display lists and bitmaps.
GLuint APIENTRY glGenLists(GLsizei range) {
    rec("glGenLists", {double(range)});
    if (!glrec::contextCurrent || glrec::genListsFails || range <= 0) {
        return 0;
    }
    GLuint first = glrec::nextList;
    glrec::nextList += GLuint(range);
    return first;
}
void APIENTRY glDeleteLists(GLuint list, GLsizei range) {
    rec("glDeleteLists", {double(list), double(range)});
}
void APIENTRY glNewList(GLuint list, GLenum mode) {
    rec("glNewList", {double(list), double(mode)});
    glrec::compilingList = list;
}
void APIENTRY glEndList(void) {
    glrec::compilingList = 0;
    rec("glEndList", {});
}
void APIENTRY glCallList(GLuint list) {
    rec("glCallList", {double(list)});
}
void APIENTRY glCallLists(GLsizei n, GLenum type, const GLvoid* lists) {
    glrec::Call& c = rec("glCallLists", {double(n), double(type)});
    if (n > 0) {
        std::size_t size = type == GL_UNSIGNED_BYTE || type == GL_BYTE ? 1
                           : type == GL_UNSIGNED_SHORT                 ? 2
                                                                       : 4;
        glrec::copyBytes(c, lists, std::size_t(n) * size);
    }
}
void APIENTRY glListBase(GLuint base) {
    rec("glListBase", {double(base)});
}
void APIENTRY glBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove,
                       GLfloat ymove, const GLubyte* bitmap) {
    glrec::Call& c = rec("glBitmap", {double(width), double(height), xorig, yorig, xmove, ymove});
    if (width > 0 && height > 0) {
        glrec::copyBytes(c, bitmap, std::size_t((width + 7) / 8) * std::size_t(height));
    }
}
void APIENTRY glRasterPos2i(GLint x, GLint y) {
    rec("glRasterPos2i", {double(x), double(y)});
}
void APIENTRY glRasterPos2f(GLfloat x, GLfloat y) {
    rec("glRasterPos2f", {x, y});
}

// Matrices, attributes and viewport.
void APIENTRY glMatrixMode(GLenum mode) {
    rec("glMatrixMode", {double(mode)});
}
void APIENTRY glLoadIdentity(void) {
    rec("glLoadIdentity", {});
}
void APIENTRY glPushMatrix(void) {
    rec("glPushMatrix", {});
}
void APIENTRY glPopMatrix(void) {
    rec("glPopMatrix", {});
}
void APIENTRY glPushAttrib(GLbitfield mask) {
    rec("glPushAttrib", {double(mask)});
}
void APIENTRY glPopAttrib(void) {
    rec("glPopAttrib", {});
}
void APIENTRY glFrustum(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    rec("glFrustum", {l, r, b, t, n, f});
}
void APIENTRY glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) {
    rec("glOrtho", {l, r, b, t, n, f});
}
void APIENTRY glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    rec("glViewport", {double(x), double(y), double(w), double(h)});
}
void APIENTRY glRotated(GLdouble a, GLdouble x, GLdouble y, GLdouble z) {
    rec("glRotated", {a, x, y, z});
}
void APIENTRY glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) {
    rec("glRotatef", {a, x, y, z});
}
void APIENTRY glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    rec("glTranslated", {x, y, z});
}
void APIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    rec("glTranslatef", {x, y, z});
}
void APIENTRY glScaled(GLdouble x, GLdouble y, GLdouble z) {
    rec("glScaled", {x, y, z});
}
void APIENTRY glScalef(GLfloat x, GLfloat y, GLfloat z) {
    rec("glScalef", {x, y, z});
}

// Evaluators.
void APIENTRY glMap2f(GLenum target, GLfloat u1, GLfloat u2, GLint ustride, GLint uorder, GLfloat v1,
                      GLfloat v2, GLint vstride, GLint vorder, const GLfloat* points) {
    glrec::Call& c = rec("glMap2f", {double(target), u1, u2, double(ustride), double(uorder), v1, v2,
                                     double(vstride), double(vorder)});
    int k = glrec::mapComponents(target);
    if (points != nullptr && k > 0 && uorder > 0 && vorder > 0 && ustride >= 0 && vstride >= 0) {
        // Copy the control points as the evaluator reads them, point (i, j) after point (i, j - 1).
        for (GLint j = 0; j < vorder; ++j) {
            for (GLint i = 0; i < uorder; ++i) {
                const GLfloat* p =
                    points + std::size_t(j) * std::size_t(vstride) + std::size_t(i) * std::size_t(ustride);
                c.data.insert(c.data.end(), p, p + k);
            }
        }
    }
}
void APIENTRY glMapGrid2f(GLint un, GLfloat u1, GLfloat u2, GLint vn, GLfloat v1, GLfloat v2) {
    rec("glMapGrid2f", {double(un), u1, u2, double(vn), v1, v2});
}
void APIENTRY glEvalMesh2(GLenum mode, GLint i1, GLint i2, GLint j1, GLint j2) {
    rec("glEvalMesh2", {double(mode), double(i1), double(i2), double(j1), double(j2)});
}

// GLU.
void APIENTRY gluOrtho2D(GLdouble l, GLdouble r, GLdouble b, GLdouble t) {
    rec("gluOrtho2D", {l, r, b, t});
}
void APIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble n, GLdouble f) {
    rec("gluPerspective", {fovy, aspect, n, f});
}

}  // extern "C"
