# Shared by scripts/run and scripts/test: installs what is missing, configures, builds.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Debian packages needed to build and run the program, but for the compiler.
QUENLOR_BUILD_PACKAGES=(cmake ninja-build pkg-config qt6-base-dev libqt6sql6 libqt6sql6-sqlite
    qt6-qpa-plugins libgl-dev
    libasound2-dev libjack-jackd2-dev liblo-dev libfontconfig-dev libbenchmark-dev fonts-liberation2 ccache
    mold lv2-dev liblilv-dev)
# With gcc, which builds the program for scripts/run and the Debian package.
QUENLOR_RUN_PACKAGES=(g++ "${QUENLOR_BUILD_PACKAGES[@]}")
# Needed by the test command besides: clang, which builds everything there, with libFuzzer
# for the fuzz harnesses, and LLVM's symbolizer, without which the sanitizers' reports
# have no names and their suppressions, which match names, match nothing.
QUENLOR_FUZZ_PACKAGES=(clang libclang-rt-14-dev llvm-14)
# Needed by the test command besides: a JACK server for the end-to-end MIDI tests, a
# virtual machine for those on the ALSA sequencer (scripts/alsa-vm, which takes Debian's
# kernel out of its package itself), the validators of the desktop entry and the AppStream
# metainfo, groff to read the manual pages as man shows them, an X server with a key
# presser to drive the real program in the test that kills it, and LV2's checks with the
# library that jalv's console host needs (scripts/test takes jalv out of its package).
QUENLOR_TEST_PACKAGES=(jackd2 qemu-system-x86 busybox-static kmod cpio
    appstream desktop-file-utils groff-base xvfb xdotool lilv-utils libsuil-0-0 sordi)

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    # A throwaway CI machine skips dpkg's syncs to disk, which only matter when power
    # fails mid-install.
    local options=()
    [ -n "${CI:-}" ] && options+=(-o Dpkg::Options::=--force-unsafe-io)
    $sudo apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${options[@]}" "${missing[@]}"
}

# build DIR [cmake options...]: configures once, then rebuilds only what changed; only
# the targets named in QUENLOR_TARGETS when it is set.
build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        # ccache makes a build after a fresh clone or a changed header cheap when the
        # same sources were compiled before, in this folder or another clone. A throwaway
        # CI machine never builds again: there it would only fill a cache, and a build
        # that fills one takes some 8 % longer.
        local launcher=()
        [ -z "${CI:-}" ] && command -v ccache > /dev/null &&
            launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
        cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@"
    fi
    # ccache takes the compiles that use a precompiled header only when told that the
    # header's own time stamps and definitions may be trusted. In depend mode it learns a
    # file's headers from the compiler's own list: otherwise it runs the preprocessor over
    # each file it has not seen, which on a fresh machine, where every compile is new, made
    # each build a quarter slower.
    CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime \
        CCACHE_DEPEND=1 cmake --build "$dir" ${QUENLOR_TARGETS:+--target $QUENLOR_TARGETS}
}
