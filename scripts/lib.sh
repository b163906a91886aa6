# Shared by the build scripts: install Debian packages that are missing, as root or through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Packages of another architecture ("wine32:i386") need it added first; the next install then
# updates the package lists, since the package is missing.
ensure_architecture() {
  dpkg --print-foreign-architectures | grep -qx "$1" || as_root dpkg --add-architecture "$1"
}

# One line per batch: apt's and dpkg's hundreds of lines go to a log, named when the install fails.
ensure_packages() {
  local missing=() log
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  mkdir -p build/logs
  log=$(mktemp build/logs/apt-XXXXXX.log)
  echo "Installing: ${missing[*]}"
  # A mirror caught in a sync fails an index now and then (seen: "File has unexpected size"):
  # the update is tried again, and the install goes on with the lists it has.
  if ! { for try in 1 2 3; do as_root apt-get update -q && break; sleep $((10 * try)); done
         as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
           "${missing[@]}"; } >"$log" 2>&1; then
    echo "Installing ${missing[*]} failed; the full log is $PWD/$log" >&2
    return 1
  fi
}
