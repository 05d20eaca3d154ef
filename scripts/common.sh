# Shared by the README's commands. Source it; do not run it.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

# What building needs.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools
  libgl-dev libxcb1-dev libxcb-damage0-dev libfasttext-dev libicu-dev libuchardet-dev libssl-dev scdoc)
# What running needs on a desktop (fonts for Japanese, the lock icon, the
# services behind the two gates, opening the help page and the manual).
RUN_PACKAGES=(libqt6widgets6 libqt6dbus6 libqt6svg6 qt6-qpa-plugins fonts-noto-cjk fonts-noto-color-emoji
  adwaita-icon-theme xdg-utils polkitd fprintd qt6-wayland qt6-translations-l10n libuchardet0)
# What the fuzz targets need: clang with libFuzzer and the sanitizer runtimes.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# What the tests need besides: mock services on a private bus, a real X server,
# PDF text extraction, window tooling and a window manager for the end-to-end
# runs, both input methods with mozc, the screen reader, and the checkers of
# the package and its metadata.
TEST_PACKAGES=(libqt6widgets6 libqt6dbus6 libqt6svg6 qt6-qpa-plugins fonts-noto-cjk fonts-noto-color-emoji
  adwaita-icon-theme python3-dbusmock dbus xvfb xauth poppler-utils xdotool
  imagemagick x11-utils dpkg-dev desktop-file-utils lintian appstream strace binutils
  at-spi2-core python3-pyatspi weston qt6-wayland openbox qt6-translations-l10n ibus ibus-mozc
  fcitx5 fcitx5-mozc fcitx5-frontend-qt6 orca
  "${FUZZ_PACKAGES[@]}")
# The real-daemon tier (tests/system) and the window manager's close request.
TEST_PACKAGES+=(python3-xlib polkitd fprintd tmux openssl dbus-bin util-linux)

say() { printf '\033[1m==> %s\033[0m\n' "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the given Debian packages that are not installed yet.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    say "Packages already installed"
    return
  fi
  say "Installing packages: ${missing[*]}"
  as_root apt-get -o DPkg::Lock::Timeout=900 update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -o DPkg::Lock::Timeout=900 -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_TYPE [extra cmake args...]
configure_and_build() {
  local type="$1"; shift
  say "Configuring ($type) in $BUILD_DIR"
  cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  say "Building"
  cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}
