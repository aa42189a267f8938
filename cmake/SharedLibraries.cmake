# How the project's two shared libraries, the bridge and the reference engine, are linked.

# On Linux: exports exactly what `version_script` lists, and refuses undefined symbols.
function(jkestrune_version_script target version_script)
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
        target_link_options(${target} PRIVATE
            "LINKER:--version-script=${version_script}"
            "LINKER:--no-undefined")
        set_target_properties(${target} PROPERTIES LINK_DEPENDS ${version_script})
    endif()
endfunction()

# On Windows: the DLL is named without a "lib" prefix and lands in lib/, so that the two DLLs
# can be dropped into one folder; it carries the C++ runtime statically, so that it needs no
# MinGW runtime DLL beside it; and it exports only what its code marks for export, nothing of
# ours or of the runtime automatically.
function(jkestrune_windows_dll target)
    if(WIN32)
        set_target_properties(${target} PROPERTIES
            PREFIX ""
            RUNTIME_OUTPUT_DIRECTORY ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
        if(MINGW)
            target_link_options(${target} PRIVATE -static "LINKER:--exclude-all-symbols")
        endif()
    endif()
endfunction()
