// Carries only a version resource; GetFileVersionString reads it without running it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
