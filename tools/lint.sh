#!/usr/bin/env bash
# lint.sh -- clang-tidy (.clang-tidy) over the logic and the fake, cppcheck
# (.cppcheck-suppressions) over every source of the plug-in, and every shell
# script of the repository (a *.sh file, or one whose first line runs a
# shell) through `bash -n` and shellcheck (.shellcheckrc), every warning
# counting.
# Needs build/native/compile_commands.json (the native preset writes it).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
status=0
tidy=$(clang-tidy --quiet -p build/native core/*.cpp midi/*.cpp ui/*.cpp tests/fake/*.cpp 2>&1) || status=1
grep -v -E '^[0-9]+ warnings? generated\.$' <<<"$tidy" || true
cppcheck --enable=warning,style,performance,portability --std=c++17 --inline-suppr --error-exitcode=1 -q \
  --suppressions-list=.cppcheck-suppressions -I . core midi ui platform tests/fake || status=1

# The scripts, outside what the builds and Git write.
scripts=()
while IFS= read -r -d '' file; do
  case $file in
    *.sh) scripts+=("$file") ;;
    *) head -n 1 "$file" 2>/dev/null | grep -qE '^#!.*[/ ](ba)?sh( |$)' && scripts+=("$file") ;;
  esac
done < <(find . \( -path ./.git -o -path ./build -o -path ./dist \) -prune -o -type f -print0 | LC_ALL=C sort -z)
[ ${#scripts[@]} -gt 0 ] || { echo "lint: no shell scripts found" >&2; status=1; }
for script in "${scripts[@]}"; do
  bash -n "$script" || status=1
done
shellcheck "${scripts[@]}" || status=1

[ $status -eq 0 ] && echo "lint: clang-tidy, cppcheck, and bash -n and shellcheck over ${#scripts[@]} shell scripts are clean"
exit $status
