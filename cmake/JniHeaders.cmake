# Locates the JDK's portable jni.h and the machine header beside it, without needing a JVM
# library to link against: the bridge only receives a JNIEnv from the virtual machine.
#
# Provides the interface target jkestrune::jni.

if(NOT JKESTRUNE_JNI_INCLUDE_DIR)
    set(_jdk_hints "")
    if(DEFINED ENV{JAVA_HOME})
        list(APPEND _jdk_hints "$ENV{JAVA_HOME}/include")
    endif()
    find_program(_javac_path javac)
    if(_javac_path)
        get_filename_component(_javac_real "${_javac_path}" REALPATH)
        get_filename_component(_jdk_bin "${_javac_real}" DIRECTORY)
        list(APPEND _jdk_hints "${_jdk_bin}/../include")
    endif()
    find_path(JKESTRUNE_JNI_INCLUDE_DIR jni.h
        HINTS ${_jdk_hints}
        PATHS /usr/lib/jvm/java-17-openjdk-amd64/include /usr/lib/jvm/default-java/include
        NO_CMAKE_FIND_ROOT_PATH)
endif()
if(NOT JKESTRUNE_JNI_INCLUDE_DIR)
    message(FATAL_ERROR "jni.h not found: install a JDK (openjdk-17-jdk-headless) or set JAVA_HOME")
endif()

# The machine-dependent header: the JDK's own for the host, or one supplied by the toolchain
# (a cross-build for another platform sets JKESTRUNE_JNI_MD_DIR).
if(NOT JKESTRUNE_JNI_MD_DIR)
    set(JKESTRUNE_JNI_MD_DIR "${JKESTRUNE_JNI_INCLUDE_DIR}/linux")
endif()

add_library(jkestrune_jni INTERFACE)
target_include_directories(jkestrune_jni SYSTEM INTERFACE
    "${JKESTRUNE_JNI_MD_DIR}" "${JKESTRUNE_JNI_INCLUDE_DIR}")
add_library(jkestrune::jni ALIAS jkestrune_jni)
message(STATUS "JNI headers: ${JKESTRUNE_JNI_INCLUDE_DIR} (machine header: ${JKESTRUNE_JNI_MD_DIR})")
