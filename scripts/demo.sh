#!/usr/bin/env bash
# The demo: set-up, the module installed into the project's virtual environment,
# then scripts/demo.py, which prints what the module makes of a French text.
source "$(dirname "$0")/env.sh"
ensure_debian_packages
ensure_venv
log "installing the module"
"$VENV/bin/python" -m pip install -q --no-build-isolation "$ROOT"
"$VENV/bin/python" "$ROOT/scripts/demo.py"
