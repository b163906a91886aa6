#!/bin/sh
# The throwaway Wine prefix of one ctest run (fixture wine_prefix), with its drive letters.
#   wine_prefix.sh setup PREFIX [NAME=DIR]...  make the prefix (one wineboot, when missing) and
#       link each NAME in its dosdevices to DIR: "d:" is a drive, "unc/server/share" the network
#       path \\server\share; B: and E: are left absent; the run's count of Wine reruns, the file
#       wine-reruns beside the prefix, starts empty
#   wine_prefix.sh cleanup PREFIX [DIR]...  stop the prefix's wine server, remove it and the DIRs
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
action=$1 prefix=$(realpath -m "$2")  # Wine takes only an absolute prefix
shift 2
export WINEPREFIX="$prefix"
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
case $action in
setup)
  "$top/cmake/wine-run.sh" cmd /c exit  # makes the prefix when missing, starts its server
  for map in "$@"; do
    dir=${map#*=} link=$prefix/dosdevices/${map%%=*}
    mkdir -p "$dir" "$(dirname "$link")"
    ln -sfn "$dir" "$link"
  done
  rm -f "$prefix/dosdevices/b:" "$prefix/dosdevices/e:" "$(dirname "$prefix")/wine-reruns"
  ;;
cleanup)
  "$WINESERVER" -k 2>/dev/null || true  # 1 when no server was running
  "$WINESERVER" -w
  # Debian's Wine keeps the server's socket in /tmp/wine-XXXXXX, named in the prefix's file
  # "wineserver"; the stopped server leaves it behind.
  socket_dir=$(cat "$prefix/wineserver" 2>/dev/null || true)
  case $socket_dir in
  wine-??????) rm -rf "/tmp/$socket_dir" ;;
  esac
  for dir in "$@"; do
    chmod -R u+rwx "$dir" 2>/dev/null || true
    rm -rf "$dir"
  done
  rm -rf "$prefix" "$prefix.lock"
  ;;
*)
  echo "usage: $0 setup|cleanup PREFIX [...]" >&2
  exit 2
  ;;
esac
