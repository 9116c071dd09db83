# Sourced by every script: where things are, and the one set-up path.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${MORVANE_BUILD_ROOT:-$ROOT/build}
VENV=$ROOT/.venv
JOBS=${MORVANE_JOBS:-$(nproc)}

DEBIAN_PACKAGES=(cmake ninja-build pkg-config g++ libpcre2-dev libicu-dev libgtest-dev
                 libbenchmark-dev nlohmann-json3-dev clang-19 libclang-rt-19-dev)

log() { printf '== %s\n' "$*" >&2; }

# Installs the Debian packages that are missing (apt-get update once, only if needed).
ensure_debian_packages() {
  local missing=()
  for p in "${DEBIAN_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    log "installing Debian packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# The CPython 3.12 interpreter: pyenv's, else one on PATH.
find_python312() {
  if command -v pyenv >/dev/null 2>&1 && pyenv prefix 3.12 >/dev/null 2>&1; then
    echo "$(pyenv prefix 3.12)/bin/python3.12"
  elif command -v python3.12 >/dev/null 2>&1; then
    command -v python3.12
  else
    log "CPython 3.12 not found (pyenv or python3.12 on PATH)"
    return 1
  fi
}

# The project's virtual environment, with the Python build and test tools of
# pyproject.toml's dependency group "dev" (installed again when that file changes).
ensure_venv() {
  if [ ! -x "$VENV/bin/python" ]; then
    log "creating $VENV"
    "$(find_python312)" -m venv "$VENV"
  fi
  local stamp="$VENV/.morvane-tools" want
  want=$(sha256sum "$ROOT/pyproject.toml" | cut -d' ' -f1)
  if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
    log "installing the Python tools of pyproject.toml (group dev)"
    "$VENV/bin/python" -m pip install -q --upgrade pip  # dependency groups need pip 25.1
    "$VENV/bin/python" -m pip install -q --group "$ROOT/pyproject.toml:dev"
    echo "$want" >"$stamp"
  fi
}

# configure_and_build <dir> [cmake options...] [-- targets...]: an incremental Ninja
# build of the tree (of the targets given, else of all), configured with the options
# each time so that a changed option is applied.
configure_and_build() {
  local dir=$1
  shift
  local options=() targets=()
  while (($#)) && [ "$1" != "--" ]; do
    options+=("$1")
    shift
  done
  (($#)) && shift && targets=(--target "$@")
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja "${options[@]}" >/dev/null
  else
    cmake "$dir" "${options[@]}" >/dev/null
  fi
  cmake --build "$dir" -j "$JOBS" "${targets[@]}"
}
