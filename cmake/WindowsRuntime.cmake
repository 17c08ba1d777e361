# Run by "cmake --install" (and so by CPack) for a Windows build made on
# Linux: puts the Qt plugins beside the programs and every DLL that the
# programs and plugins import, found in the given folders and followed
# through the DLLs themselves. What none of the folders holds is Windows'
# own and stays out.
#
# Set by the install rule: VELMORA_EXECUTABLES, VELMORA_PLUGINS (pairs of
# subfolder and file), VELMORA_DLL_DIRS, VELMORA_LOOKUP_DIR (a scratch folder),
# VELMORA_OBJDUMP, VELMORA_STRIP.

# A PE file names its DLLs in any case and CMake looks them up in lower
# case, which a Linux file system tells apart: look them up through lower-
# case links to the real files.
set(lookup "${VELMORA_LOOKUP_DIR}")
file(REMOVE_RECURSE "${lookup}")
file(MAKE_DIRECTORY "${lookup}")
foreach(dir IN LISTS VELMORA_DLL_DIRS)
    file(GLOB dlls LIST_DIRECTORIES false "${dir}/*.dll")
    foreach(dll IN LISTS dlls)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" name)
        if(NOT EXISTS "${lookup}/${name}")
            file(CREATE_LINK "${dll}" "${lookup}/${name}" SYMBOLIC)
        endif()
    endforeach()
endforeach()

set(prefix "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(installed)
set(modules)
while(VELMORA_PLUGINS)
    list(POP_FRONT VELMORA_PLUGINS folder plugin)
    file(INSTALL "${plugin}" DESTINATION "${CMAKE_INSTALL_PREFIX}/${folder}")
    get_filename_component(name "${plugin}" NAME)
    list(APPEND installed "${prefix}/${folder}/${name}")
    list(APPEND modules "${plugin}")
endwhile()

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${VELMORA_OBJDUMP}")
file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES ${VELMORA_EXECUTABLES}
    MODULES ${modules}
    DIRECTORIES "${lookup}"
    # API sets are names that Windows maps to its own DLLs; no file has them.
    PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
    RESOLVED_DEPENDENCIES_VAR found
    UNRESOLVED_DEPENDENCIES_VAR windows_own
    CONFLICTING_DEPENDENCIES_PREFIX conflicting)
# A DLL copied beside more than one program of the build (libturbojpeg.dll
# beside velmora.exe and velmora-carsim.exe) is found once per copy; the
# copies come from one file, so the first one serves.
foreach(name IN LISTS conflicting_FILENAMES)
    list(GET conflicting_${name} 0 first)
    list(APPEND found "${first}")
endforeach()
foreach(link IN LISTS found)
    file(REAL_PATH "${link}" dll)
    file(INSTALL "${dll}" DESTINATION "${CMAKE_INSTALL_PREFIX}")
    get_filename_component(name "${dll}" NAME)
    list(APPEND installed "${prefix}/${name}")
endforeach()
list(JOIN windows_own " " windows_own)
message(STATUS "Left to Windows: ${windows_own}")

if(CMAKE_INSTALL_DO_STRIP)
    foreach(file IN LISTS installed)
        execute_process(COMMAND "${VELMORA_STRIP}" --strip-unneeded "${file}" COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
endif()
