#!/usr/bin/env bash
# Installs what the build needs (only what is missing) and builds the C++ tree.
source "$(dirname "$0")/env.sh"
ensure_debian_packages
ensure_venv
configure_and_build "$BUILD/plain" -DMORVANE_TESTS=ON
