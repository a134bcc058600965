// shapes.h - a cube and the classic teapot, solid or as wire frame.
#ifndef KVR_SHAPES_H
#define KVR_SHAPES_H

// A cube of edge length size centred on the origin, with face normals and texture coordinates.
void glutSolidCube(double size);
void glutWireCube(double size);
// The teapot, evaluated from its Bezier patches, standing upright along +y.
void glutSolidTeapot(double size);
void glutWireTeapot(double size);

#endif  // KVR_SHAPES_H
