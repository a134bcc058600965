// fake_platform.cpp - placeholder until the scriptable fake lands.
#include "fake_platform.h"
