# Sourced by the scripts that run Windows programs. The shipped programs are
# 32-bit, but where the kernel cannot run 32-bit x86 code at all (some
# hypervisors give no compatibility mode), or 32-bit Wine could not be
# installed, Wine cannot run them either; there the same sources are built for
# x86_64 and run in 64-bit prefixes, and scripts/test.sh runs the 32-bit build
# in an emulated machine (scripts/vm32.sh).
# Sets windows_preset, STARTER_WINE (the loader) and STARTER_WINEARCH.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  windows_preset=win32
  export STARTER_WINE=wine STARTER_WINEARCH=win32
else
  windows_preset=win64
  export STARTER_WINE=/usr/lib/wine/wine64 STARTER_WINEARCH=win64
  # Such machines start a process in about half a second, not 16 ms, so a
  # shorter list keeps the stop scenario's run going while the stop lands.
  export STARTER_STOP_LINES=60
  echo "NOTE: 32-bit Wine cannot run on this machine: Windows programs run from the x86_64 build" >&2
fi
