# velmora_add_test(<name> SOURCES <files...> [LABELS <labels...>] [TIMEOUT <seconds>]
#                  [WINDOWS_PLATFORM])
# Adds a Qt Test executable that links the core library and registers it
# with CTest. Widget tests run on the offscreen platform; with
# WINDOWS_PLATFORM, a Windows build runs on Qt's windows platform instead,
# whose fonts are the system's (the offscreen platform has none there).
function(velmora_add_test name)
    cmake_parse_arguments(ARG "WINDOWS_PLATFORM" "TIMEOUT" "SOURCES;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE velmora_test_support)
    add_test(NAME ${name} COMMAND ${name})
    set(environment "QT_QPA_PLATFORM=offscreen")
    if(WIN32 AND ARG_WINDOWS_PLATFORM)
        set(environment "QT_QPA_PLATFORM=windows")
    endif()
    if(WIN32)
        velmora_sdl_beside(${name})
        velmora_turbojpeg_beside(${name})
        # Qt Test on Windows logs to the debugger, so a failure would print
        # nothing; and the tests find Qt's libraries on the path.
        list(APPEND environment "QT_FORCE_STDERR_LOGGING=1")
        if(CMAKE_HOST_WIN32)
            set_tests_properties(${name} PROPERTIES
                ENVIRONMENT_MODIFICATION "PATH=path_list_prepend:${VELMORA_QT_BIN_DIR}")
        endif()
    endif()
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${environment}"
        LABELS "${ARG_LABELS}"
        TIMEOUT ${ARG_TIMEOUT})
endfunction()

# Every test source starts with tests/support/QtTryConversion.h, which keeps
# a newer Qt's waiting macros from failing the warnings-as-errors build (see
# there). Included from tests/, so only the tests get it.
if(NOT MSVC)
    add_compile_options("SHELL:-include ${PROJECT_SOURCE_DIR}/tests/support/QtTryConversion.h")
endif()
