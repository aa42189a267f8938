# The engine's layers: each folder of kestrune/core is a static library that sees its own
# headers and those of the layers below it, never those above. The headers are included as
# "core/<layer>/name.h"; a layer compiles against an include root of its own, made in the build
# tree, in which core/ holds links to its own folder and to the folders below only. An include
# that climbs therefore fails to compile, with "No such file or directory", in the file that
# has it.
#
# The order, lowest first. A layer may use everything before it in this list.
set(KESTRUNE_LAYERS base frontend models scoring enrollment contract)

# The include root of `layer`: <build>/layers/<layer>, whose core/ links the visible folders.
function(kestrune_layer_root layer out_root)
    set(root ${CMAKE_CURRENT_BINARY_DIR}/layers/${layer})
    list(FIND KESTRUNE_LAYERS ${layer} position)
    if(position LESS 0)
        message(FATAL_ERROR "kestrune_layer_root: ${layer} is not one of ${KESTRUNE_LAYERS}")
    endif()
    file(MAKE_DIRECTORY ${root}/core)
    foreach(visible IN LISTS KESTRUNE_LAYERS)
        list(FIND KESTRUNE_LAYERS ${visible} visible_position)
        set(link ${root}/core/${visible})
        if(visible_position LESS_EQUAL position)
            if(NOT IS_SYMLINK ${link})
                file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/core/${visible} ${link} SYMBOLIC)
            endif()
        elseif(EXISTS ${link} OR IS_SYMLINK ${link})
            file(REMOVE ${link})  # left by an older order
        endif()
    endforeach()
    set(${out_root} ${root} PARENT_SCOPE)
endfunction()

# kestrune_layer(<layer> [SOURCES <files>...] [LIBRARIES <targets>...])
# Makes the static library kestrune_<layer> from core/<layer>/<files>, linked to the layer
# below it (so to all of them) and to LIBRARIES. A layer of headers only gets no sources.
function(kestrune_layer layer)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBRARIES")
    kestrune_layer_root(${layer} root)
    list(TRANSFORM ARG_SOURCES PREPEND core/${layer}/)
    set(target kestrune_${layer})
    if(ARG_SOURCES)
        add_library(${target} STATIC ${ARG_SOURCES})
        set(scope PUBLIC)
    else()
        add_library(${target} INTERFACE)
        set(scope INTERFACE)
    endif()
    target_include_directories(${target} ${scope} ${root})
    list(FIND KESTRUNE_LAYERS ${layer} position)
    if(position GREATER 0)
        math(EXPR below "${position} - 1")
        list(GET KESTRUNE_LAYERS ${below} lower)
        target_link_libraries(${target} ${scope} kestrune_${lower})
    endif()
    if(ARG_LIBRARIES)
        target_link_libraries(${target} ${scope} ${ARG_LIBRARIES})
    endif()
endfunction()
