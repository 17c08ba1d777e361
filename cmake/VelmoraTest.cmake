# velmora_add_test(<name> SOURCES <files...> [LABELS <labels...>] [TIMEOUT <seconds>])
# Adds a Qt Test executable that links the core library and registers it
# with CTest. Widget tests run on the offscreen platform.
function(velmora_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE velmora_test_support)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        LABELS "${ARG_LABELS}"
        TIMEOUT ${ARG_TIMEOUT})
endfunction()
