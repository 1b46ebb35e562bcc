// dllmain_win32.cpp -- the module's load and unload entry.
#include <windows.h>

// Nothing to do on load or unload, for any reason.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
