# Sourced by the other scripts: installs the Debian packages the build and
# the tests need, when they are missing.
vorlex_packages=(cmake ninja-build g++ ccache libvterm-dev libgtest-dev libbenchmark-dev lrzsz socat
    libfreetype-dev libpng-dev libx11-dev xvfb xdotool xfonts-base xfonts-100dpi fonts-terminus-otb fonts-dejavu-core fonts-liberation2)
# ccache keys on paths relative to the checkout, so that a clone elsewhere
# (CI's) reuses what an earlier build compiled.
export CCACHE_BASEDIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export CCACHE_NOHASHDIR=true
vorlex_setup() {
    local missing=()
    for p in "${vorlex_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
