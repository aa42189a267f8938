# JKESTRUNE_SANITIZE=address,undefined or JKESTRUNE_SANITIZE=thread instruments every target.
# Undefined behaviour is made fatal so that a report fails the test that caused it.
if(JKESTRUNE_SANITIZE)
    set(_sanitize_flags -fsanitize=${JKESTRUNE_SANITIZE} -fno-omit-frame-pointer -g)
    if(JKESTRUNE_SANITIZE MATCHES "undefined")
        list(APPEND _sanitize_flags -fno-sanitize-recover=undefined)
    endif()
    add_compile_options(${_sanitize_flags})
    add_link_options(-fsanitize=${JKESTRUNE_SANITIZE})
    message(STATUS "Sanitizers: ${JKESTRUNE_SANITIZE}")
endif()
