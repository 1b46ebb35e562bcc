#!/usr/bin/env bash
# lint.sh -- clang-tidy (.clang-tidy) over the logic and the fake, and
# cppcheck (.cppcheck-suppressions) over every source of the plug-in.
# Needs build/native/compile_commands.json (the native preset writes it).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
status=0
tidy=$(clang-tidy --quiet -p build/native core/*.cpp midi/*.cpp ui/*.cpp tests/fake/*.cpp 2>&1) || status=1
grep -v -E '^[0-9]+ warnings? generated\.$' <<<"$tidy" || true
cppcheck --enable=warning,style,performance,portability --std=c++17 --inline-suppr --error-exitcode=1 -q \
  --suppressions-list=.cppcheck-suppressions -I . core midi ui platform tests/fake || status=1
[ $status -eq 0 ] && echo "lint: clang-tidy and cppcheck are clean"
exit $status
