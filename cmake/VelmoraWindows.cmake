# Windows builds: the folder that holds Qt's libraries, and running the
# programs under Wine when the build is made on Linux. Include it before any
# target is made, so that every one of them picks the emulator up.
if(NOT WIN32)
    return()
endif()

set(VELMORA_QT_BIN_DIR "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")

# A Windows program keeps its DLLs, its plugins and Velmora.ini beside the
# executable: everything is installed at the top of its folder.
set(CMAKE_INSTALL_BINDIR .)

if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
    # The 64-bit loader itself: Debian's `wine` picks the 32-bit one once
    # wine32 is installed, and that one starts a 64-bit program as another
    # process and returns, so ctest and the tests would watch the wrong one.
    find_program(VELMORA_WINE64 NAMES wine64 wine PATHS /usr/lib/wine)
    set(VELMORA_WINE "${VELMORA_WINE64}")
    if(VELMORA_WINE64)
        # Wine sees the Unix root as drive Z:.
        string(REPLACE "/" "\\" VELMORA_WINE_QT_BIN "Z:${VELMORA_QT_BIN_DIR}")
        configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
            FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                WORLD_READ WORLD_EXECUTE)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
    else()
        message(STATUS "Wine not found: the Windows tests build but cannot run here")
    endif()
endif()

# velmora_sdl_beside(<target>): copies SDL2.dll beside the target after each
# build. Windows finds a program's own DLLs beside it first, so the program
# and its tests run from the build folder without SDL on the path.
function(velmora_sdl_beside target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:SDL2::SDL2>
            $<TARGET_FILE_DIR:${target}>)
endfunction()
