// gl_recorder.h - a test double linked instead of the GL and GLU libraries.
//
// Every OpenGL and GLU call the program makes is appended to one log with its
// arguments: scalars in `args` in call order (enums and integers as numbers),
// arrays passed by pointer copied into `data` (floats) or `bytes` (bytes).
// Display-list and texture names are handed out from 1 upwards. While
// `glrec::contextCurrent` is false nothing is recorded and every name is 0,
// as with no rendering context current.
#ifndef KVR_GL_RECORDER_H
#define KVR_GL_RECORDER_H

#include <cstddef>
#include <string>
#include <vector>

namespace glrec {

struct Call {
    std::string name;
    std::vector<double> args;
    std::vector<float> data;
    std::vector<unsigned char> bytes;
    unsigned list = 0;  // the display list being compiled when the call was made, 0 if none
};

// The log, oldest call first.
extern std::vector<Call> calls;
// False: behave as with no current context (nothing recorded, names 0).
extern bool contextCurrent;
// True: glGenLists answers 0, as when no lists are available.
extern bool genListsFails;

// Clears the log and restores the defaults above and the name counters.
void reset();
// Number of calls of the named function.
std::size_t count(const std::string& name);
// The calls of the named function, in order.
std::vector<const Call*> named(const std::string& name);
// Index of the first call of name at or after `from`, or calls.size().
std::size_t find(const std::string& name, std::size_t from = 0);
// The log as text, one call a line, for failure messages.
std::string dump(std::size_t from = 0, std::size_t to = static_cast<std::size_t>(-1));

}  // namespace glrec

#endif  // KVR_GL_RECORDER_H
