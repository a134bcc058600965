// kvr_window.cpp - placeholder until the window layer lands.
#include "kvr_window.h"
