# shellcheck shell=bash
# Installs the Debian packages the build and the tests need, only those missing.

PRW3_PACKAGES=(cmake ninja-build g++ googletest libgtest-dev mingw-w64 wine wine64 xvfb xauth x11-utils
  cups-daemon cups-client imagemagick wixl msitools clang-format git)

# prw3_install_packages [PKG...]: the packages named, or all of the above.
prw3_install_packages() {
  local missing=() pkg wanted=("$@")
  ((${#wanted[@]})) || wanted=("${PRW3_PACKAGES[@]}")
  for pkg in "${wanted[@]}"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  echo "installing: ${missing[*]}"
  local sudo=()
  [[ $EUID -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}
