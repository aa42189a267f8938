// For the Windows test programs that load jkestrune.dll the way a Java virtual machine on
// Windows does (LoadLibrary by full path, then GetProcAddress of the JNI names): the program's
// own folder, where the build puts the DLLs a test needs, and the six methods resolved by name.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "bridge/load_manager.h"

namespace jkestrune::windows_test {

// The folder of this program, with a trailing separator; empty if Windows cannot tell.
inline std::wstring ProgramFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L"";
        }
        if (length < path.size()) {
            std::wstring file(path.data(), length);
            return file.substr(0, file.find_last_of(L"\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}

// jkestrune.dll in this program's folder.
inline std::wstring LibraryPath() {
    return ProgramFolder() + L"jkestrune.dll";
}

// Loads jkestrune.dll from this program's folder and pins the kestrune.dll it imported, so that
// the engine stays loaded for the rest of the program and its per-thread state cannot go away
// under a test. Returns what failed, or "".
inline std::string LoadLibraryPinningEngine(HMODULE& library, HMODULE& engine) {
    library = LoadLibraryW(LibraryPath().c_str());
    if (library == nullptr) {
        return "LoadLibrary failed with error " + std::to_string(GetLastError());
    }
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"kestrune.dll", &engine)) {
        return "kestrune.dll was not loaded with the library";
    }
    return "";
}

// GetProcAddress as the function type `Fn`; null when the name is not exported.
template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#define JKESTRUNE_JNI_METHOD(method) "Java_com_mirelta_requests_LoadManager_" #method

// The six methods, with the library's own declarations as their types; null when not found.
struct Methods {
    decltype(&Java_com_mirelta_requests_LoadManager_MaxQntTargets) maxQntTargets;
    decltype(&Java_com_mirelta_requests_LoadManager_MaxQntProgramStreams) maxQntProgramStreams;
    decltype(&Java_com_mirelta_requests_LoadManager_LoadBgModels) loadBgModels;
    decltype(&Java_com_mirelta_requests_LoadManager_GetTargetQuantity) getTargetQuantity;
    decltype(&Java_com_mirelta_requests_LoadManager_VerifyDataWithGetAll) verifyDataWithGetAll;
    decltype(&Java_com_mirelta_requests_LoadManager_VerifyDataWithGetMaxProbability)
        verifyDataWithGetMaxProbability;

    explicit Methods(HMODULE library)
        : maxQntTargets(
              Resolve<decltype(maxQntTargets)>(library, JKESTRUNE_JNI_METHOD(MaxQntTargets))),
          maxQntProgramStreams(Resolve<decltype(maxQntProgramStreams)>(
              library, JKESTRUNE_JNI_METHOD(MaxQntProgramStreams))),
          loadBgModels(
              Resolve<decltype(loadBgModels)>(library, JKESTRUNE_JNI_METHOD(LoadBgModels))),
          getTargetQuantity(Resolve<decltype(getTargetQuantity)>(
              library, JKESTRUNE_JNI_METHOD(GetTargetQuantity))),
          verifyDataWithGetAll(Resolve<decltype(verifyDataWithGetAll)>(
              library, JKESTRUNE_JNI_METHOD(VerifyDataWithGetAll))),
          verifyDataWithGetMaxProbability(Resolve<decltype(verifyDataWithGetMaxProbability)>(
              library, JKESTRUNE_JNI_METHOD(VerifyDataWithGetMaxProbability))) {}

    bool Complete() const {
        return maxQntTargets && maxQntProgramStreams && loadBgModels && getTargetQuantity &&
               verifyDataWithGetAll && verifyDataWithGetMaxProbability;
    }
};

}  // namespace jkestrune::windows_test
