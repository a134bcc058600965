// main.cpp - the console entry, which hands over at once to WinMain.
#include "kelvor.h"

int main() {
    return WinMain(GetModuleHandleA(NULL), NULL, const_cast<char*>(""), SW_SHOW);
}
