#!/usr/bin/env bash
# The layering check on small trees: a clean tree passes; a climbing include, an include that names
# no layer and a folder outside the layer list each fail with the file and line.
set -u
check=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0

make_tree() {
  rm -rf "$root"/*
  mkdir -p "$root/src/low" "$root/src/high" "$root/tests/low"
  echo 'set(PUMBLECRISP_LAYERS low high)' > "$root/CMakeLists.txt"
  printf '#pragma once\n' > "$root/src/low/base.h"
  printf '#include "low/base.h"\n#include <vector>\n' > "$root/src/high/top.cpp"
}

expect() {  # expect <pass|fail> <text the output must hold> <case>
  output=$("$check" "$root" 2>&1)
  status=$?
  if { [ "$1" = pass ] && [ $status -ne 0 ]; } || { [ "$1" = fail ] && [ $status -eq 0 ]; } ||
     [[ "$output" != *"$2"* ]]; then
    echo "FAILED: $3 (status $status): $output"
    failures=$((failures + 1))
  fi
}

make_tree
expect pass "no include climbs" "a clean tree"

make_tree
printf '#pragma once\n\n#include "high/top.h"\n' > "$root/src/low/base.h"
expect fail 'src/low/base.h:3: #include "high/top.h" climbs from low up to high' "a climbing include"

make_tree
printf '#include "top_local.h"\n' >> "$root/src/high/top.cpp"
expect fail 'src/high/top.cpp:3: #include "top_local.h" names no layer folder' "an include without a folder"

make_tree
mkdir -p "$root/src/stray"
expect fail "src/stray: folder is not a layer" "a folder outside the list"

make_tree
mkdir -p "$root/tests/scratch"
expect fail "tests/scratch: folder mirrors no layer" "a test folder outside the list"

exit $failures
