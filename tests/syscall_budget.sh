#!/usr/bin/env bash
# The walk's system calls on a generated tree, counted with strace: at most one status call per
# file, none for a folder found in a listing beyond its own check, and at most five calls per
# folder besides the reads of its listing. Counts are taken against a run on an empty folder, so
# the program's start-up calls drop out. Usage: syscall_budget.sh VOLTALLY
set -euo pipefail
tool=$(realpath "$1")
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
mkdir wide
folders=$((folders + 1))
for i in $(seq 4000); do : >"wide/a-rather-long-file-name-$i"; done
files=$((files + 4000))
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

# Prints "status-calls all-calls listing-reads-with-data" for one run.
count() {
  strace -f -qq -o "$root/trace" "$tool" "C:$1" b >"$root/out"
  awk '
    { sub(/^[0-9]+ +/, "") }
    /^(\+\+\+|---)/ { next }
    { all++ }
    /^(newfstatat|fstatat64|fstat|lstat|stat|statx)\(/ { stat++ }
    /^getdents64\(/ && !/= 0$/ { reads++ }
    END { print stat + 0, all + 0, reads + 0 }' "$root/trace"
}

read -r stat0 all0 reads0 < <(count "$root/empty")
read -r stat1 all1 reads1 < <(count "$root/tree")
total=$(tr -d '\r' <"$root/out" | awk '{print $4}')
statCalls=$((stat1 - stat0)) allCalls=$((all1 - all0)) reads=$((reads1 - reads0))
extraReads=$((reads - folders))
echo "files $files, folders $folders: $statCalls status calls, $allCalls calls, $reads reads"
status=0
if [ "$total" != "$expected.00" ]; then
  echo "FAIL: total $total, expected $expected.00"
  status=1
fi
if [ "$statCalls" -gt $((files + folders)) ]; then
  echo "FAIL: $statCalls status calls for $files files and $folders folders"
  status=1
fi
if [ "$allCalls" -gt $((files + 5 * folders + extraReads)) ]; then
  echo "FAIL: $allCalls calls, budget $((files + 5 * folders + extraReads))"
  status=1
fi
exit $status
