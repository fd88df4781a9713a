#!/usr/bin/env bash
# Runs a Windows program under Wine in the tree's private prefix, headless and quiet.
set -e
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${KV_WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
