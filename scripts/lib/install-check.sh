# install_check DEB: installs the package into a fresh Debian 12 root with
# apt-get, as a driver would, and runs it there as an ordinary user under
# Xvfb (scripts/lib/installed-run.sh). Needs root, debootstrap and Debian's
# mirror, which apt's configured sources name.
#
# The bare root and the downloaded packages are kept in ~/.cache/velmora
# (or $VELMORA_CACHE), so later checks only install.

# The Debian mirror that apt already uses here.
debian_mirror() {
    local uri
    uri=$(grep -hoE '(URIs:|^deb) +https?://[^ ]*/debian/?( |$)' \
        /etc/apt/sources.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -oE 'https?://[^ ]*' | head -n 1 || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

install_check() {
    local deb=$1
    if [ "$(id -u)" -ne 0 ]; then
        echo "The install check needs root (debootstrap, chroot)." >&2
        return 1
    fi
    local cache=${VELMORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}
    local base="$cache/bookworm-minbase.tar"
    mkdir -p "$cache/apt-archives/partial"
    if [ ! -f "$base" ]; then
        echo "=== Making a bare Debian 12 root (once; kept in $cache) ==="
        local fresh
        fresh=$(mktemp -d /var/tmp/velmora-debootstrap.XXXXXX)
        debootstrap --variant=minbase bookworm "$fresh" "$(debian_mirror)"
        tar -C "$fresh" -cf "$base.part" .
        mv "$base.part" "$base"
        rm -rf "$fresh"
    fi

    echo "=== Installing $(basename "$deb") in a fresh Debian 12 root ==="
    local root
    root=$(mktemp -d /var/tmp/velmora-root.XXXXXX)
    tar -C "$root" -xf "$base"
    # The top of the tree keeps mktemp's private mode, which tar restores:
    # the driver must be able to enter it.
    chmod 755 "$root"
    cp "$deb" "$root/tmp/"
    cp "$VELMORA_ROOT/scripts/lib/installed-run.sh" "$root/tmp/"
    cp /etc/resolv.conf "$root/etc/resolv.conf"

    local status=0
    # The mounts live in a namespace of their own and vanish with it. The
    # installs reach Debian's mirror; the run itself has loopback only, and
    # its settings name 127.0.0.1 before any key drives.
    unshare --mount -- bash -euo pipefail -c '
        root=$1 cache=$2 deb=$3
        mount --bind /dev "$root/dev"
        mount -t proc proc "$root/proc"
        mount --bind "$cache/apt-archives" "$root/var/cache/apt/archives"
        export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
        chroot "$root" apt-get -q update
        # Exactly what a driver types; recommended packages come too.
        chroot "$root" apt-get -q -y install "./tmp/$deb"
        # The tools the check itself uses to play the driver.
        chroot "$root" apt-get -q -y --no-install-recommends install xvfb openbox xdotool
        chroot "$root" useradd --create-home driver
        unshare --net -- sh -c "ip link set lo up && exec chroot --userspec=driver:driver \"\$0\" \
            env -i HOME=/home/driver PATH=/usr/bin:/bin LANG=C.UTF-8 sh /tmp/installed-run.sh" "$root"
    ' install-check "$root" "$cache" "$(basename "$deb")" || status=$?
    rm -rf "$root"
    if [ "$status" -eq 0 ]; then
        echo "Install check: passed"
    else
        echo "Install check: FAILED" >&2
    fi
    return "$status"
}
