#!/usr/bin/env bash
# Runs a Windows program under Wine in the tree's private prefix, headless and quiet.
set -e
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${KV_WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No debugger on a crash: a crashing test must fail, not wait for an answer.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}
exec wine "$@"
