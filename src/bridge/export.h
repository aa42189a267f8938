// Marks the functions the library exports; everything else is hidden (the build compiles with
// hidden visibility and, on ELF, links with a version script).
#pragma once

#if defined(_WIN32)
#define JKESTRUNE_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#define JKESTRUNE_EXPORT __attribute__((visibility("default")))
#else
#define JKESTRUNE_EXPORT
#endif
