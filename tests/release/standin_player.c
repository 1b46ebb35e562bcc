/* standin_player.c -- winamp.exe in the player's folder that the installer
 * test lays out. Run with no arguments it does nothing. Run as
 *   winamp.exe hold DLL READY RELEASE
 * it loads DLL as the running player holds its plug-ins, creates the file
 * READY, and keeps the DLL loaded until the file RELEASE appears (60 s at
 * most). It never calls into the plug-in. */
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 5 || lstrcmpA(argv[1], "hold") != 0) return 0;
    HMODULE plugin = LoadLibraryA(argv[2]);
    if (plugin == NULL) return 2;
    CloseHandle(CreateFileA(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    for (int waited = 0; waited < 600 && GetFileAttributesA(argv[4]) == INVALID_FILE_ATTRIBUTES; ++waited) Sleep(100);
    FreeLibrary(plugin);
    return 0;
}
