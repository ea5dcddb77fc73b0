# Shared by the scripts: install the Debian packages the build needs (plus those a script names,
# `ensure_packages "${VELMORIN_SCREENSHOT_PACKAGES[@]}"`). Only missing packages are installed,
# after an `apt-get update` (a fresh machine has no lists).

VELMORIN_PACKAGES=(cmake ninja-build g++ pkg-config libsodium-dev libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev locales)
# scripts/screenshots only: the virtual display and a font for stable pictures.
VELMORIN_SCREENSHOT_PACKAGES=(xvfb fonts-dejavu-core)

ensure_packages() {
  local missing=()
  local pkg
  for pkg in "${VELMORIN_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root, then run this script again:" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing missing packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
}
