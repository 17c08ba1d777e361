# TurboJPEG, libjpeg-turbo's plain API, as the target TurboJpeg::TurboJpeg.
# Include it wherever a target needs it; it finds the library once.
#
# Linux: Debian's libturbojpeg0-dev, found by its header and library. Its
# CMake package also names the static libjpeg that only libjpeg62-turbo-dev
# brings, so it is not used here.
# Windows: the MinGW build's CMake package (libjpeg-turbo_DIR, or its folder
# in QT_ADDITIONAL_PACKAGES_PREFIX_PATH); velmora_turbojpeg_beside(<target>)
# copies libturbojpeg.dll beside a program so it runs from the build folder.
include_guard(GLOBAL)

if(WIN32)
    find_package(libjpeg-turbo REQUIRED CONFIG)
    # Its targets are seen only in the folder that found them; every program
    # and test that decodes or copies the DLL lives in another folder.
    set_target_properties(libjpeg-turbo::turbojpeg PROPERTIES IMPORTED_GLOBAL TRUE)
    add_library(TurboJpeg::TurboJpeg INTERFACE IMPORTED GLOBAL)
    target_link_libraries(TurboJpeg::TurboJpeg INTERFACE libjpeg-turbo::turbojpeg)
    get_target_property(velmora_turbojpeg_dll libjpeg-turbo::turbojpeg IMPORTED_LOCATION_RELEASE)
    if(NOT velmora_turbojpeg_dll)
        get_target_property(velmora_turbojpeg_dll libjpeg-turbo::turbojpeg LOCATION)
    endif()
    # The Windows package gathers its DLLs from folders it is told of.
    get_filename_component(velmora_turbojpeg_dir "${velmora_turbojpeg_dll}" DIRECTORY)
    set_property(GLOBAL PROPERTY VELMORA_TURBOJPEG_DLL_DIR "${velmora_turbojpeg_dir}")

    function(velmora_turbojpeg_beside target)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:libjpeg-turbo::turbojpeg>
                $<TARGET_FILE_DIR:${target}>)
    endfunction()
else()
    find_path(TURBOJPEG_INCLUDE_DIR turbojpeg.h REQUIRED)
    find_library(TURBOJPEG_LIBRARY turbojpeg REQUIRED)
    add_library(TurboJpeg::TurboJpeg UNKNOWN IMPORTED GLOBAL)
    set_target_properties(TurboJpeg::TurboJpeg PROPERTIES
        IMPORTED_LOCATION "${TURBOJPEG_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${TURBOJPEG_INCLUDE_DIR}")

    function(velmora_turbojpeg_beside target)
    endfunction()
endif()
