# Makes the jar that carries its native libraries and default background model: the classes
# jar with, under com/mirelta/requests/bundled/ (read by BundledFiles and NativePlatform),
#   linux-x86-64/libkestrune.so, libjkestrune.so      from LINUX_DIR, when set
#   windows-x86-64/kestrune.dll, jkestrune.dll        from WINDOWS_DIR, when both files are there
#   ubm/<files>, ubm.list (their names, one a line)   from UBM_DIR, when it holds files
# Runs on every build: the jar is rewritten only when one of these files, or the classes jar,
# has changed, so that a Windows build or a background model that appears later is picked up.
#
#   cmake -DJAR=<jar tool> -DCLASSES_JAR=... -DOUTPUT=... [-DLINUX_DIR=...] [-DWINDOWS_DIR=...]
#         [-DUBM_DIR=...] -P BundleJar.cmake
cmake_minimum_required(VERSION 3.25)

foreach(_required JAR CLASSES_JAR OUTPUT)
    if(NOT ${_required})
        message(FATAL_ERROR "BundleJar: ${_required} is not set")
    endif()
endforeach()

set(_resources)  # resource path below bundled/
set(_sources)    # the file it is copied from

# Adds a platform's pair when both files are in the folder; a required pair must be there.
function(_bundle_pair folder dir bridge engine required)
    if(EXISTS "${dir}/${bridge}" AND EXISTS "${dir}/${engine}")
        list(APPEND _resources "${folder}/${engine}" "${folder}/${bridge}")
        list(APPEND _sources "${dir}/${engine}" "${dir}/${bridge}")
        set(_resources "${_resources}" PARENT_SCOPE)
        set(_sources "${_sources}" PARENT_SCOPE)
    elseif(required)
        message(FATAL_ERROR "BundleJar: ${dir} lacks ${bridge} or ${engine}")
    endif()
endfunction()

if(LINUX_DIR)
    _bundle_pair(linux-x86-64 "${LINUX_DIR}" libjkestrune.so libkestrune.so TRUE)
endif()
if(WINDOWS_DIR)
    _bundle_pair(windows-x86-64 "${WINDOWS_DIR}" jkestrune.dll kestrune.dll FALSE)
endif()
set(_ubm_names)
if(UBM_DIR AND IS_DIRECTORY "${UBM_DIR}")
    file(GLOB _ubm_files LIST_DIRECTORIES FALSE "${UBM_DIR}/*")
    list(SORT _ubm_files)
    foreach(_file IN LISTS _ubm_files)
        cmake_path(GET _file FILENAME _name)
        list(APPEND _ubm_names "${_name}")
        list(APPEND _resources "ubm/${_name}")
        list(APPEND _sources "${_file}")
    endforeach()
endif()

# What the jar would hold, with the contents' hashes: unchanged means nothing to do.
file(SHA256 "${CLASSES_JAR}" _signature)
foreach(_resource _source IN ZIP_LISTS _resources _sources)
    file(SHA256 "${_source}" _hash)
    string(APPEND _signature "\n${_resource} ${_hash}")
endforeach()
set(_signature_file "${OUTPUT}.contents")
if(EXISTS "${OUTPUT}" AND EXISTS "${_signature_file}")
    file(READ "${_signature_file}" _previous)
    if(_previous STREQUAL _signature)
        return()
    endif()
endif()

set(_staging "${OUTPUT}.staging")
set(_bundled "${_staging}/com/mirelta/requests/bundled")
file(REMOVE_RECURSE "${_staging}")
foreach(_resource _source IN ZIP_LISTS _resources _sources)
    cmake_path(GET _resource PARENT_PATH _folder)
    file(MAKE_DIRECTORY "${_bundled}/${_folder}")
    file(COPY_FILE "${_source}" "${_bundled}/${_resource}")
endforeach()
if(_ubm_names)
    list(JOIN _ubm_names "\n" _list)
    file(WRITE "${_bundled}/ubm.list" "${_list}\n")
endif()

file(COPY_FILE "${CLASSES_JAR}" "${OUTPUT}.part")
if(_resources)
    execute_process(COMMAND "${JAR}" uf "${OUTPUT}.part" -C "${_staging}" com
        RESULT_VARIABLE _result)
    if(NOT _result EQUAL 0)
        message(FATAL_ERROR "BundleJar: ${JAR} could not add the bundled files: ${_result}")
    endif()
endif()
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
file(WRITE "${_signature_file}" "${_signature}")
file(REMOVE_RECURSE "${_staging}")
list(JOIN _resources ", " _carried)
cmake_path(GET OUTPUT FILENAME _jar_name)
message(STATUS "${_jar_name} carries: ${_carried}")
