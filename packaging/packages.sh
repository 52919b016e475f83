# Sourced by the build and test scripts: need_packages NAME... installs the
# Debian packages among NAME... that are missing, when run as root; run as
# another user, it names them and exits 1. Elsewhere than Debian/Ubuntu (no
# dpkg) it does nothing, and the build says what it lacks.

# What packaging/windows.sh builds with: the cross compiler, CMake, dpkg-dev to
# unpack freeglut's Debian source, the header-only nlohmann/json and stb,
# mandoc for the manual page as text, zip to pack the same bytes every time.
windows_packages=(cmake make g++-mingw-w64-x86-64-posix dpkg-dev nlohmann-json3-dev libstb-dev mandoc zip)

need_packages() {
    local missing=() p
    command -v dpkg >/dev/null || return 0
    for p in "$@"; do
        [[ " ${missing[*]} " == *" $p "* ]] && continue  # named twice
        dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]}" >&2
        echo "as root, install them with: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
