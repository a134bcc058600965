// app_placeholder.cpp - removed when the application shell lands.
#include "kelvor.h"
