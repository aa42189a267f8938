# GoogleTest for a cross-build, compiled from Debian's source package (googletest), since no
# binary package exists for the cross compiler. Only what the tests link is built.
set(JKESTRUNE_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${JKESTRUNE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${JKESTRUNE_GOOGLETEST_SOURCE_DIR}: "
        "install Debian's googletest package or set JKESTRUNE_GOOGLETEST_SOURCE_DIR")
endif()

# Options are set as plain variables, which its option() calls are to honour.
set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)
set(INSTALL_GTEST OFF)
# Windows' own threading primitives rather than a pthreads emulation.
set(gtest_disable_pthreads ON)
add_subdirectory(${JKESTRUNE_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Third-party code keeps its own warning flags; the project's -Werror is not imposed on it.
# Its archives stay out of lib/, which holds what the build delivers.
foreach(_target gtest gtest_main gmock gmock_main)
    set_target_properties(${_target} PROPERTIES
        COMPILE_OPTIONS ""
        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY})
endforeach()
