# The Windows stage of scripts/test: cross-builds Velmora and its tests for
# 64-bit Windows with MinGW-w64 and runs them under Wine. Sourced after
# common.sh.

# Packages for the Windows build and for running it here: the MinGW-w64
# compilers, the host Qt tools the cross-built Qt uses, Wine, a private X
# server for the end-to-end group, objdump for the DLLs the packages carry,
# NSIS for the installer, and unzip and strings for checking the packages.
VELMORA_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 qt6-base-dev qt6-base-dev-tools wine wine64 xvfb xauth nsis
    unzip binutils xz-utils)

# windows_stage_fits: whether this system can run the Windows stage. Qt for
# MinGW (../shared/toolchains, or scripts/windows-qt) is Qt 6.4.2 built on
# Debian 12 with its MinGW-w64 GCC 12, and its cross builds run Debian 12's
# own Qt 6.4.2 tools (moc, uic, rcc), which must be of its version: Debian
# 13's are Qt 6.8.
windows_stage_fits() {
    local codename
    codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
    [ "$codename" = bookworm ]
}
windows_skipped="Windows: skipped; that stage runs on Debian 12 only (its MinGW-w64, Wine and Qt 6.4 tools)"

VELMORA_CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/velmora
VELMORA_QT_MINGW_ARCHIVE=qt6.4.2-mingw64.tar.xz
VELMORA_SDL_MINGW_ARCHIVE=sdl2.26.5-mingw64.tar.xz
VELMORA_JPEG_MINGW_ARCHIVE=libjpeg-turbo2.1.5-mingw64.tar.xz

# unpack_once ARCHIVE NAME: unpacks the archive into the cache, once per
# archive (its size and time name the unpacked copy), and prints that folder.
unpack_once() {
    local source=$1 key target
    key=$(stat -c '%s-%Y' "$source")
    target="$VELMORA_CACHE/$2-$key"
    if [ ! -f "$target/.unpacked" ]; then
        echo "Unpacking $source into $target" >&2
        rm -rf "$target"
        mkdir -p "$target"
        tar -C "$target" -xJf "$source" >&2 || return 1
        touch "$target/.unpacked"
    fi
    echo "$target"
}

# windows_qt_dir: prints the folder of Qt for MinGW (the one holding
# lib/cmake/Qt6), unpacking or building it first when needed. Takes
# $VELMORA_QT_MINGW (an archive or a folder), else the archive in
# ../shared/toolchains beside the project, else builds it with
# scripts/windows-qt.
windows_qt_dir() {
    local source=${VELMORA_QT_MINGW:-}
    local shared="$VELMORA_ROOT/../shared/toolchains/$VELMORA_QT_MINGW_ARCHIVE"
    if [ -z "$source" ] && [ -f "$shared" ]; then
        source=$shared
    fi
    if [ -n "$source" ] && [ -d "$source" ]; then
        echo "Qt for MinGW: the folder $source" >&2
        (cd "$source" && pwd)
        return 0
    fi
    if [ -z "$source" ]; then
        local built="$VELMORA_CACHE/qt-build/$VELMORA_QT_MINGW_ARCHIVE"
        if [ ! -f "$built" ]; then
            echo "No Qt for MinGW given (\$VELMORA_QT_MINGW) and none in ../shared/toolchains:" >&2
            echo "building it now from Debian's own Qt source with scripts/windows-qt." >&2
            echo "This takes about an hour on 2 cores, once; later runs reuse $built." >&2
            WORK="$VELMORA_CACHE/qt-build" "$VELMORA_ROOT/scripts/windows-qt" >&2 || return 1
        fi
        source=$built
    fi
    if [ ! -f "$source" ]; then
        echo "VELMORA_QT_MINGW=$source is neither an archive nor a folder" >&2
        return 1
    fi
    local target
    target=$(unpack_once "$source" qt-mingw) || return 1
    echo "Qt for MinGW: $source" >&2
    local found
    found=$(dirname "$(dirname "$(dirname "$(find "$target" -maxdepth 5 -path '*/lib/cmake/Qt6' | head -n1)")")")
    echo "$found"
}

# mingw_library_dir SOURCE NAME DLL LABEL VARIABLE: prints the folder of a
# library built for MinGW (the one holding bin/DLL), from SOURCE, an archive
# or a folder, unpacking an archive once into the cache as NAME.
mingw_library_dir() {
    local source=$1 name=$2 dll=$3 label=$4 variable=$5
    if [ -d "$source" ]; then
        (cd "$source" && pwd)
        return 0
    fi
    if [ ! -f "$source" ]; then
        echo "No $label for MinGW: set $variable to its archive or folder" >&2
        return 1
    fi
    local target
    target=$(unpack_once "$source" "$name") || return 1
    dirname "$(dirname "$(find "$target" -maxdepth 3 -name "$dll" | head -n1)")"
}

# windows_sdl_dir: SDL2 for MinGW, from $VELMORA_SDL_MINGW (an archive or a
# folder), else the archive in ../shared/toolchains.
windows_sdl_dir() {
    mingw_library_dir "${VELMORA_SDL_MINGW:-$VELMORA_ROOT/../shared/toolchains/$VELMORA_SDL_MINGW_ARCHIVE}" \
        sdl2-mingw SDL2.dll SDL2 VELMORA_SDL_MINGW
}

# windows_jpeg_dir: libjpeg-turbo for MinGW, from $VELMORA_JPEG_MINGW (an
# archive or a folder), else the archive in ../shared/toolchains.
windows_jpeg_dir() {
    mingw_library_dir "${VELMORA_JPEG_MINGW:-$VELMORA_ROOT/../shared/toolchains/$VELMORA_JPEG_MINGW_ARCHIVE}" \
        libjpeg-turbo-mingw libturbojpeg.dll libjpeg-turbo VELMORA_JPEG_MINGW
}

# windows_stage: builds into build/windows/build and runs the tests under
# Wine inside a loopback-only network namespace, then makes and checks the
# packages.
windows_stage() {
    local started=$SECONDS
    echo "=== Windows (cross-built with MinGW-w64, run under Wine) ==="
    VELMORA_QT_MINGW_PREFIX=$(windows_qt_dir) || return 1
    export VELMORA_QT_MINGW_PREFIX
    VELMORA_SDL_MINGW_PREFIX=$(windows_sdl_dir) || return 1
    export VELMORA_SDL_MINGW_PREFIX
    VELMORA_JPEG_MINGW_PREFIX=$(windows_jpeg_dir) || return 1
    export VELMORA_JPEG_MINGW_PREFIX
    cd "$VELMORA_ROOT"
    if ! cmake --preset windows || ! cmake --build --preset windows --parallel "$jobs"; then
        return 1
    fi
    # The end-to-end group is a Linux program that drives velmora.exe on a
    # virtual screen, as it drives the Linux build.
    if ! cmake --preset windows-host || ! cmake --build --preset windows-host --parallel "$jobs"; then
        return 1
    fi
    local status=0
    run_loopback_only "$VELMORA_ROOT/scripts/lib/windows-tests" "$VELMORA_ROOT/build/windows/build" \
        "$jobs" "$VELMORA_ROOT/build/windows/host" || status=1
    # The zip and the installer, each checked in a fresh Wine prefix.
    "$VELMORA_ROOT/scripts/package-windows" || status=1
    echo "Windows stage took $((SECONDS - started)) s"
    return "$status"
}
