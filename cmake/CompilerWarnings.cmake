# Warnings are errors for every target of the project, with GCC, Clang and MinGW alike.
if(MSVC)
    add_compile_options(/W4 /WX)
else()
    add_compile_options(-Wall -Wextra -Werror)
endif()
