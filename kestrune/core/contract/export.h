// Marks the engine's seven exported functions; everything else stays hidden (the build uses
// hidden visibility and, on ELF, a version script).
#pragma once

#if defined(_WIN32)
#define KESTRUNE_API __declspec(dllexport)
#elif defined(__GNUC__)
#define KESTRUNE_API __attribute__((visibility("default")))
#else
#define KESTRUNE_API
#endif
