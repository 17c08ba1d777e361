# Shared by the scripts in this folder: where things are, and installing the
# Debian packages that are missing.

VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Packages to build and run the program.
VELMORA_BUILD_PACKAGES=(cmake g++ make qt6-base-dev libx11-dev libgl-dev libsdl2-dev libturbojpeg0-dev fonts-dejavu-core)
# Packages the tests need on top: a network namespace with loopback only,
# packet dropping for dead-link tests, a real X server with fake input, and a
# private session bus for the accessibility events, and ffmpeg as a camera
# server of a kind Velmora did not write.
VELMORA_TEST_PACKAGES=(iproute2 util-linux iptables xvfb xauth dbus-daemon xdotool libxtst-dev x11-utils openbox ffmpeg)
# Packages for the sanitizer build and the fuzz targets: clang with its
# libFuzzer and sanitizer runtimes, and llvm-symbolizer for readable stacks.
VELMORA_HARDENING_PACKAGES=(clang libclang-rt-dev llvm)

# Packages to build and check the Debian package, and to try it in a fresh
# Debian root.
VELMORA_PACKAGE_PACKAGES=(dpkg-dev file desktop-file-utils appstream lintian debootstrap)

# ensure_packages PKG...: installs whichever of the packages are missing.
# With VELMORA_INSTALL_ONLY=1 the script then ends: scripts/on-debian13 runs
# a script once so to install, with the network, and then again with only
# loopback.
ensure_packages() {
    install_missing_packages "$@" || return
    if [ "${VELMORA_INSTALL_ONLY:-0}" = 1 ]; then
        exit 0
    fi
}

install_missing_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "Missing packages: ${missing[*]}; install them with your system's package manager." >&2
        return 1
    fi
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
            return 1
        fi
    fi
    echo "Installing: ${missing[*]}"
    # Another install may hold the package lock (a second script, an update
    # at boot): wait for it rather than fail.
    local apt=(apt-get -o DPkg::Lock::Timeout=900)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${apt[@]}" update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -q --no-install-recommends "${missing[@]}"
}

# can_isolate_network: whether this process may make a network namespace.
can_isolate_network() {
    unshare --net true 2>/dev/null
}

# run_loopback_only COMMAND...: runs the command in a network namespace that
# has only loopback; warns loudly and runs it anyway where none can be made.
run_loopback_only() {
    if can_isolate_network; then
        unshare --net -- sh -c 'ip link set lo up && exec "$@"' velmora-test "$@"
    else
        echo "############################################################" >&2
        echo "WARNING: cannot make a loopback-only network namespace here" >&2
        echo "(needs root). Running the tests on the normal network." >&2
        echo "############################################################" >&2
        "$@"
    fi
}

# start_xvfb FIRST LAST SCREEN LOG: starts a private X server (no TCP) on the
# first free display number from FIRST to LAST, with screen size SCREEN
# (e.g. 1024x768x24), logging to LOG. Sets DISPLAY and xvfb_pid.
start_xvfb() {
    local number
    for number in $(seq "$1" "$2"); do
        if [ ! -e "/tmp/.X11-unix/X$number" ] && [ ! -e "/tmp/.X$number-lock" ]; then
            Xvfb ":$number" -screen 0 "$3" -nolisten tcp >"$4" 2>&1 &
            xvfb_pid=$!
            export DISPLAY=":$number"
            return 0
        fi
    done
    echo "No free X display from :$1 to :$2" >&2
    return 1
}
