#!/bin/sh
# CMAKE_CROSSCOMPILING_EMULATOR of the x86_64 build, and the way the Wine tests start a program:
#   WINEPREFIX=/abs/prefix cmake/wine-run.sh program.exe [args...]
# Creates the prefix when it is missing and starts its wine server detached from the caller, so
# that neither the server nor the helpers it spawns hold the caller's stderr open (ctest reads
# stderr to its end and would wait for them). The exit status is wine's: the low byte of the
# program's.
: "${WINEPREFIX:?WINEPREFIX must be set}"
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
# -all: no fixme/err lines; winedbg off: a crash must not print a register dump on stdout;
# winemenubuilder off: no menu entries or file associations in the user's home.
export WINEPREFIX WINEDEBUG="${WINEDEBUG:--all}" LC_ALL=C.UTF-8 \
  WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe,winemenubuilder.exe=d}"
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then "$WINE" wineboot -i 9>&- && "$WINESERVER" -w; fi
  # Status 0 only when no server was running: start the session's helpers here, detached. 9>&-
  # keeps the lock out of the helpers, or every other caller would wait on it for the server's
  # lifetime.
  if "$WINESERVER" -p"${WINE_RUN_LINGER:-60}" 9>&-; then "$WINE" cmd /c exit 9>&-; fi
) 9>"$WINEPREFIX.lock" </dev/null >/dev/null 2>&1
exec "$WINE" "$@"
