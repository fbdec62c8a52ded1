# Sourced by the scripts: makes sure the Debian packages they need are
# installed, installing the missing ones with apt-get (through sudo when not
# root).  Usage: need_packages "why" package...
# Ends the script with exit code 3 and a message saying what to do when a
# package is missing and cannot be installed here.

package_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

need_packages() {
  local why=$1; shift
  local missing=() p
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "This script installs its packages with Debian's apt-get, and this system has no dpkg." >&2
    echo "Install these packages (or their equivalents) by hand, then run it again: $*" >&2
    exit 3
  fi
  for p in "$@"; do package_installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0

  echo "== installing ${missing[*]} ($why)"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
      echo "   (through sudo: it may ask for your password)"
    else
      echo "The packages ${missing[*]} are missing, and installing them needs root, but sudo is not here." >&2
      echo "As root, run: apt-get update && apt-get install -y ${missing[*]}" >&2
      exit 3
    fi
  fi
  if ! DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get update -qq ||
     ! DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    echo "Could not install ${missing[*]} with apt-get (see the messages above)." >&2
    echo "Install them by hand (apt-get install ${missing[*]}), then run this script again." >&2
    exit 3
  fi
  for p in "${missing[@]}"; do
    if ! package_installed "$p"; then
      echo "apt-get ended, but $p is still not installed; install it by hand and run this script again." >&2
      exit 3
    fi
  done
}

# What building the station needs.
need_build_packages() {
  need_packages "to build the station: compiler, CMake, the terminal library" \
    cmake make g++ libncurses-dev
}
