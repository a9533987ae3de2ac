#!/bin/sh
# Runs a Windows program for CTest. scripts/test.sh gives each run its own
# prefix; refuse to fall back on the user's ~/.wine.
if [ -z "$WINEPREFIX" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; run the Windows tests through scripts/test.sh" >&2
  exit 2
fi
export WINEDEBUG="${WINEDEBUG:--all}"
exec "${STARTER_WINE:-wine}" "$@"
