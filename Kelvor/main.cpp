// main.cpp - the console entry, which hands over at once to WinMain.
#include <stdio.h>

#include "kelvor.h"

// Makes console output appear at once, then runs the program.
int main() {
    setvbuf(stdout, NULL, _IONBF, 0);
    return WinMain(GetModuleHandleA(NULL), NULL, const_cast<char*>(""), SW_SHOW);
}
