#!/usr/bin/env bash
# The walk's system calls on a generated tree, counted by the kernel against the floor walker of
# the benchmark (bench/floor.c): at most ten calls more, and every file counted. Each program is
# also counted on an empty folder, so that start-up calls drop out. Usage: syscall_budget.sh
# VOLTALLY FLOOR
set -euo pipefail
tool=$(realpath "$1")
floor=$(realpath "$2")
root=$(mktemp -d /tmp/voltally-budget-XXXXXX)
trap 'rm -rf "$root"' EXIT
mkdir "$root/empty" "$root/tree"
cd "$root/tree"

files=0 folders=0 expected=0
# Three levels of folders, five files each, sizes 1..5.
for a in 1 2 3 4 5 6; do
  for b in "" /x /x/y; do
    mkdir -p "top$a$b"
    folders=$((folders + 1))
    for f in 1 2 3 4 5; do
      truncate -s "$f" "top$a$b/file$f"
      files=$((files + 1)) expected=$((expected + f))
    done
  done
done
# One folder that takes several listing reads, with subfolders read while its own reads are held.
# A byte in each file, so that the total shows an entry lost at the edge of a read.
mkdir wide
folders=$((folders + 1))
for i in $(seq 4000); do printf x >"wide/a-rather-long-file-name-$i"; done
files=$((files + 4000)) expected=$((expected + 4000))
for i in 1 2 3; do
  mkdir "wide/sub$i"
  truncate -s 7 "wide/sub$i/seven"
  folders=$((folders + 1)) files=$((files + 1)) expected=$((expected + 7))
done
# Entries that are listed but never entered: a link to a folder, a dot folder, a fifo, a dot file.
ln -s top1 link
mkdir .hidden
: >.hidden/inside
mkfifo fifo
truncate -s 100 .profile
files=$((files + 4))

# Prints the number of system calls of one run of "$@", all threads, counted by the kernel's
# tracepoint through perf: strace would stop the program at every call, and a walk that waits that
# long on each is one that takes more threads.
count() {
  perf stat -x, -o "$root/count" -e raw_syscalls:sys_enter "$@" >"$root/out"
  awk -F, '$3 == "raw_syscalls:sys_enter" { print $1 }' "$root/count"
}
if ! perf stat -x, -o /dev/null -e raw_syscalls:sys_enter true 2>/dev/null; then
  echo "perf cannot count system calls here (linux-perf, and root or perf_event_paranoid)"
  exit 77
fi

startUp=$(count "$tool" "C:$root/empty" b)
calls=$(($(count "$tool" "C:$root/tree" b) - startUp))
total=$(tr -d '\r' <"$root/out" | awk '{print $4}')
# Seven of the floor's calls are none of the walk's business: the floor enters the dot folder (an
# open, two reads, a close and a status call on its file) and looks at the link and the fifo.
floorCalls=$(($(count "$floor" "$root/tree") - $(count "$floor" "$root/empty") - 7))
echo "files $files, folders $folders: $calls calls, the floor $floorCalls"
status=0
if [ "$total" != "$expected.00" ]; then
  echo "FAIL: total $total, expected $expected.00"
  status=1
fi
if [ "$calls" -gt $((floorCalls + 10)) ]; then
  echo "FAIL: $calls calls, budget $((floorCalls + 10))"
  status=1
fi
exit $status
