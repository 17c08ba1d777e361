# The packages, all made by CPack from the install: on Linux the Debian
# package; for Windows the zip and the installer, both from one cross build.
# Every name and version comes from project().
set(CPACK_PACKAGE_VENDOR "the Velmora developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyboard remote control for a model car")
set(CPACK_PACKAGE_CONTACT "the Velmora developers <velmora@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://velmora.example.org/")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    include(cmake/PackagingWindows.cmake)
elseif(UNIX AND NOT APPLE)
    # What a Linux install puts besides the programs: the menu entry, its
    # icon and the software-centre description, at the places desktops look
    # for them.
    set(VELMORA_APP_ID org.velmora.Velmora)
    # The change log and the software-centre description list the releases,
    # newest first: it must be this version, or the package would name one
    # version and its own history another.
    file(STRINGS packaging/changelog.Debian newest LIMIT_COUNT 1)
    file(STRINGS packaging/${VELMORA_APP_ID}.metainfo.xml release REGEX "<release " LIMIT_COUNT 1)
    if(NOT newest MATCHES "^velmora \\(${PROJECT_VERSION}\\) "
        OR NOT release MATCHES "version=\"${PROJECT_VERSION}\"")
        message(FATAL_ERROR "packaging/changelog.Debian and packaging/${VELMORA_APP_ID}.metainfo.xml "
            "must start with an entry for version ${PROJECT_VERSION}")
    endif()
    install(FILES packaging/${VELMORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES packaging/${VELMORA_APP_ID}.Carsim.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES packaging/${VELMORA_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES packaging/${VELMORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
    # Debian wants the change log compressed, and the same bytes every build.
    # Velmora is its own upstream (a native package), so the name has no
    # ".Debian".
    set(VELMORA_CHANGELOG_GZ ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
    add_custom_command(OUTPUT ${VELMORA_CHANGELOG_GZ}
        COMMAND gzip -n -9 -c ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog.Debian
            > ${VELMORA_CHANGELOG_GZ}
        DEPENDS packaging/changelog.Debian
        VERBATIM)
    add_custom_target(velmora_changelog ALL DEPENDS ${VELMORA_CHANGELOG_GZ})
    install(FILES ${VELMORA_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)

    set(CPACK_PACKAGE_NAME velmora)
    set(CPACK_PACKAGE_DESCRIPTION
        "Velmora turns the keyboard into the remote control of a model car: it\n"
        "connects to the car's server over TCP and sends a drive command on every\n"
        "drive key press and release, and again once a second. The package also\n"
        "holds velmora-carsim, a stand-in for the car's server.")
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CPACK_PACKAGE_HOMEPAGE_URL}")
    # The libraries the programs link are found by dpkg-shlibdeps. The xcb
    # platform plugin that Qt loads at run time comes with libqt6gui6, which
    # is linked anyway. The Wayland plugin is only for desktops without
    # XWayland, where Velmora then runs natively.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
    include(CPack)
endif()
