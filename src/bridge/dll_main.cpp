// The DLL's load entry. The library has no start-up or shut-down work and keeps no state, so
// the entry reports success for every reason (process and thread attach and detach) and does
// nothing else.
#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

#endif  // _WIN32
