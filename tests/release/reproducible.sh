#!/usr/bin/env bash
# reproducible.sh -- build the release twice from clean clones of the last
# commit and compare the files by their hashes. The two builds differ in what
# must not matter: the folder (and the length of its path), the time of day,
# the time zone and the umask.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
commit=$(git -C "$top" rev-parse HEAD)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# build FOLDER TZ UMASK: the two DLLs and dist/release/ from a clone.
build() {
  local dir=$work/$1
  git clone -q --no-checkout "$top" "$dir"
  git -C "$dir" checkout -q --detach "$commit"
  (
    cd "$dir"
    export TZ=$2
    umask "$3"
    for preset in win32 win64; do
      { cmake --preset $preset && cmake --build --preset $preset --target gen_notewick -j 2; } >"$work/$1.$preset.log" 2>&1 \
        || { cat "$work/$1.$preset.log"; exit 1; }
    done
    bash tools/release.sh >/dev/null
  )
}

build a UTC 022
sleep 2  # a DOS file time counts in 2 s steps
build another-clone-with-a-longer-path America/Los_Angeles 077

cd "$work"
status=0
for file in $(cd a/dist/release && ls); do
  first=$(sha256sum <"a/dist/release/$file" | cut -d' ' -f1)
  second=$(sha256sum <"another-clone-with-a-longer-path/dist/release/$file" | cut -d' ' -f1)
  size=$(stat -c %s "a/dist/release/$file")
  if [ "$first" = "$second" ]; then
    echo "  same      $file  $size bytes  $first"
  else
    echo "  DIFFERENT $file  $first  $second"
    status=1
  fi
done
files=(a/dist/release/*)
[ ${#files[@]} -eq 3 ] || { echo "reproducible: expected 3 files in dist/release" >&2; status=1; }
[ $status -eq 0 ] && echo "reproducible: two builds of $commit give the same files"
exit $status
