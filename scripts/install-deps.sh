#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests, the benchmarks and the program need.
# Does nothing when they are all present. `install-deps.sh hardening` adds the developers' checks:
# the sanitizer and fuzzing build (clang 14, its sanitizer and libFuzzer runtimes, the
# symbolizer) and the format check (clang-format 14).
set -euo pipefail

packages=(
    build-essential make cmake ninja-build pkg-config
    qt6-base-dev qt6-translations-l10n libsqlite3-dev mdbtools-dev libmdb3
    qt6-svg-dev libwmf-dev libemf2svg-dev fonts-urw-base35 unrtf
    libgtest-dev
    xvfb xauth xdotool x11-utils fonts-dejavu-core fonts-liberation2 adwaita-icon-theme
)
if [ "${1:-}" = hardening ]; then
    packages+=(clang-14 libclang-rt-14-dev llvm-14 clang-format-14)
elif [ $# -gt 0 ]; then
    echo "install-deps.sh: the only option is 'hardening'" >&2
    exit 2
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "These Debian packages are missing: ${missing[*]}" >&2
        echo "Installing them needs root: run this again as root, or install sudo first." >&2
        exit 1
    fi
    sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
