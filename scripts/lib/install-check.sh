# install_check DEB [SUITE]: installs the package into a fresh root of
# Debian SUITE (bookworm, the default, or trixie) with apt-get, as a driver
# would, and runs it there as an ordinary user under Xvfb
# (scripts/lib/installed-run.sh). Needs root, debootstrap and Debian's
# mirror (scripts/lib/debian-root.sh).
source "$(dirname "${BASH_SOURCE[0]}")/debian-root.sh"

install_check() {
    local deb=$1 suite=${2:-bookworm}
    if [ "$(id -u)" -ne 0 ]; then
        echo "The install check needs root (debootstrap, chroot)." >&2
        return 1
    fi
    local root
    root=$(debian_fresh_root "$suite") || return 1
    echo "=== Installing $(basename "$deb") in a fresh Debian $suite root ==="
    cp "$deb" "$root/tmp/"
    cp "$VELMORA_ROOT/scripts/lib/installed-run.sh" "$root/tmp/"

    local status=0
    # The mounts live in a namespace of their own and vanish with it. The
    # installs reach Debian's mirror; the run itself has loopback only, and
    # its settings name 127.0.0.1 before any key drives.
    unshare --mount -- bash -euo pipefail -c '
        source "$1"
        root=$2 deb=$3
        debian_root_mounts "$root"
        export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
        chroot "$root" apt-get -q update
        # Exactly what a driver types; recommended packages come too.
        chroot "$root" apt-get -q -y install "./tmp/$deb"
        # The tools the check itself uses to play the driver.
        chroot "$root" apt-get -q -y --no-install-recommends install xvfb openbox xdotool
        chroot "$root" useradd --create-home driver
        unshare --net -- sh -c "ip link set lo up && exec chroot --userspec=driver:driver \"\$0\" \
            env -i HOME=/home/driver PATH=/usr/bin:/bin LANG=C.UTF-8 sh /tmp/installed-run.sh" "$root"
    ' install-check "$VELMORA_ROOT/scripts/lib/debian-root.sh" "$root" "$(basename "$deb")" ||
        status=$?
    rm -rf "$root"
    if [ "$status" -eq 0 ]; then
        echo "Install check: passed"
    else
        echo "Install check: FAILED" >&2
    fi
    return "$status"
}
