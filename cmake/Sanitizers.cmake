# JKESTRUNE_SANITIZE=address,undefined or JKESTRUNE_SANITIZE=thread instruments every target.
# Every report is fatal (no recovery), so that it fails the test that caused it; the test command
# also sets halt_on_error in the runtime options. The JVM tests are not registered in such a
# build: a JVM uses SIGSEGV for its own purposes and does not start under these runtimes.
if(JKESTRUNE_SANITIZE)
    if(MSVC)
        message(FATAL_ERROR "JKESTRUNE_SANITIZE needs GCC or Clang")
    endif()
    set(_sanitize_flags
        -fsanitize=${JKESTRUNE_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
    add_compile_options(${_sanitize_flags})
    add_link_options(-fsanitize=${JKESTRUNE_SANITIZE})
    message(STATUS "Sanitizers: ${JKESTRUNE_SANITIZE}")
endif()
