# Windows: the programs, the DLLs and Qt plugins they need and README.txt,
# all at the top of one folder (Velmora keeps Velmora.ini beside
# velmora.exe). CPack makes of it the zip and a per-user installer.

set(VELMORA_VERSION ${PROJECT_VERSION})
configure_file(packaging/README-windows.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)

if(CMAKE_CROSSCOMPILING)
    # Qt's deploy tool runs only on Windows; here CMake's own runtime-
    # dependency search gathers the DLLs (cmake/WindowsRuntime.cmake).
    # Qt's folder also holds the MinGW runtime; further libraries (SDL)
    # add theirs.
    set(VELMORA_RUNTIME_DLL_DIRS "" CACHE STRING
        "More folders whose DLLs the Windows package may carry, e.g. SDL's bin")
    set(dll_dirs ${VELMORA_QT_BIN_DIR} ${VELMORA_RUNTIME_DLL_DIRS})
    if(TARGET SDL2::SDL2)
        get_target_property(sdl SDL2::SDL2 LOCATION)
        get_filename_component(sdl "${sdl}" DIRECTORY)
        list(APPEND dll_dirs "${sdl}")
    endif()
    # Velmora decodes the camera's pictures, and the simulator's camera encodes
    # its own, with TurboJPEG (cmake/TurboJpeg.cmake).
    get_property(turbojpeg GLOBAL PROPERTY VELMORA_TURBOJPEG_DLL_DIR)
    if(turbojpeg)
        list(APPEND dll_dirs "${turbojpeg}")
    endif()
    install(CODE "
        set(VELMORA_EXECUTABLES \"$<TARGET_FILE:velmora>;$<TARGET_FILE:velmora-carsim>\")
        set(VELMORA_PLUGINS
            platforms \"$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>\"
            styles \"$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>\")
        set(VELMORA_DLL_DIRS \"${dll_dirs}\")
        set(VELMORA_LOOKUP_DIR \"${CMAKE_CURRENT_BINARY_DIR}/dll-lookup\")
        set(VELMORA_OBJDUMP \"${CMAKE_OBJDUMP}\")
        set(VELMORA_STRIP \"${CMAKE_STRIP}\")
        include(\"${CMAKE_CURRENT_LIST_DIR}/WindowsRuntime.cmake\")
    ")
endif()

set(CPACK_PACKAGE_NAME Velmora)
set(CPACK_PACKAGE_FILE_NAME Velmora-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR "ZIP;NSIS")
# The installer's name ends in -setup (cmake/CPackWindows.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackWindows.cmake)

# The installer: 64-bit, per user without an administrator prompt, into
# the user's own programs folder (cmake/NSIS.template.in).
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\\\Programs")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Velmora)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Velmora)
set(CPACK_NSIS_PACKAGE_NAME "Velmora ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Velmora")
set(CPACK_NSIS_INSTALLED_ICON_NAME velmora.exe)
set(CPACK_NSIS_URL_INFO_ABOUT "${CPACK_PACKAGE_HOMEPAGE_URL}")
set(CPACK_NSIS_MENU_LINKS velmora.exe Velmora velmora-carsim.exe "Velmora car simulator")
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
include(CPack)
