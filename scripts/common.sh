# Shared by scripts/run and scripts/test: installs what is missing, configures, builds.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Debian packages needed to build and run the program.
QUENLOR_RUN_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev
    librtmidi-dev libjack-jackd2-dev libbenchmark-dev fonts-liberation2 ccache)
# Needed by the test command besides: clang with libFuzzer for the fuzz harnesses.
QUENLOR_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# Needed by the test command besides: a JACK server for the end-to-end MIDI tests, the
# validators of the desktop entry and the AppStream metainfo, and an X server with a key
# presser to drive the real program in the test that kills it.
QUENLOR_TEST_PACKAGES=(jackd2 appstream desktop-file-utils xvfb xdotool)

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build DIR [cmake options...]: configures once, then rebuilds only what changed.
build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        # ccache makes a build after a fresh clone or a changed header cheap when the
        # same sources were compiled before, in this folder or another clone.
        local launcher=()
        command -v ccache > /dev/null &&
            launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
        cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@"
    fi
    cmake --build "$dir"
}
