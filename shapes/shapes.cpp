// shapes.cpp - placeholder until the shapes land.
#include "shapes.h"
