# Fresh Debian systems for trying the program as a new user would: a bare
# root made once with debootstrap (minbase) per Debian release, unpacked anew
# for every try. Used by the install check and scripts/on-debian13. Needs
# root, debootstrap and Debian's mirror. Sourced after common.sh.
#
# The bare roots and the downloaded packages are kept in ~/.cache/velmora
# (or $VELMORA_CACHE), so later tries only install.

debian_cache() {
    echo "${VELMORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}"
}

# The Debian mirror that apt already uses here.
debian_mirror() {
    local uri
    uri=$(grep -hoE '(URIs:|^deb) +https?://[^ ]*/debian/?( |$)' \
        /etc/apt/sources.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -oE 'https?://[^ ]*' | head -n 1 || true)
    echo "${uri:-http://deb.debian.org/debian}"
}

# debian_fresh_root SUITE: unpacks a bare root of Debian SUITE (bookworm,
# trixie) into a new folder under /var/tmp and prints the folder. The caller
# removes it.
debian_fresh_root() {
    local suite=$1 cache
    cache=$(debian_cache)
    local base="$cache/$suite-minbase.tar"
    mkdir -p "$cache/apt-archives/partial"
    if [ ! -f "$base" ]; then
        echo "=== Making a bare Debian $suite root (once; kept in $cache) ===" >&2
        local fresh
        fresh=$(mktemp -d /var/tmp/velmora-debootstrap.XXXXXX)
        debootstrap --variant=minbase "$suite" "$fresh" "$(debian_mirror)" >&2
        tar -C "$fresh" -cf "$base.part" .
        mv "$base.part" "$base"
        rm -rf "$fresh"
    fi
    local root
    root=$(mktemp -d /var/tmp/velmora-root.XXXXXX)
    tar -C "$root" -xf "$base"
    # The top of the tree keeps mktemp's private mode, which tar restores:
    # ordinary users in there must be able to enter it.
    chmod 755 "$root"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    echo "$root"
}

# debian_root_mounts ROOT: what programs in the root need of the running
# system, and apt's downloads kept in the cache. Call it in a mount namespace
# of its own (unshare --mount), where the mounts vanish with the namespace.
debian_root_mounts() {
    local root=$1
    mount --rbind /dev "$root/dev"
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --bind "$(debian_cache)/apt-archives" "$root/var/cache/apt/archives"
}
