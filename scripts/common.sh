# Shared by the project's scripts: installs missing Debian packages and builds.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# fonts-liberation2 gives the form's "Times New Roman" and "Courier New" their metric-compatible
# faces through fontconfig; fonts-wine holds the dialog face the window loads itself.
BUILD_PACKAGES=(cmake make g++ qt6-base-dev libgl-dev fonts-dejavu-core fonts-liberation2 fonts-wine
    libusb-1.0-0-dev pkg-config libmosquitto-dev mosquitto)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# Installs those of the given packages that are not installed yet.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    echo "Installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! as_root apt-get install -y -q --no-install-recommends "${missing[@]}"; then
        as_root apt-get update -q
        as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

# Configures and builds the tree in build directory $1 with the extra CMake arguments after it.
build_tree() {
    local dir="$1"
    shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$dir" -j"$(nproc)"
}
