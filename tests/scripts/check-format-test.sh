#!/usr/bin/env bash
# check-format-test.sh SCRIPT: runs a copy of scripts/check-format in a small
# tree of two sources, with stand-in formatters on a PATH that holds nothing
# else but the tools the script uses, one case per line of the table below.
# A stand-in answers --version with its version and records its arguments;
# version 14 reports a violation in a file that holds "bad", any other version
# in every file (as clang-format 19 does with much of the tree).
set -uo pipefail
script=${1:?scripts/check-format}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tools="$work/tools"
mkdir -p "$tools"
for t in bash env find sort grep cut sed cat dirname mktemp; do
  ln -s "$(command -v "$t")" "$tools/$t"
done

# stand_in NAME VERSION: a formatter in the case's bin folder.
stand_in() {
  cat >"$bin/$1" <<STANDIN
#!$tools/bash
echo "\$0 \$*" >>"$case_dir/calls"
if [[ "\$1" == --version ]]; then echo "Debian clang-format version $2 (1)"; exit 0; fi
for f in "\$@"; do
  if [[ -f "\$f" ]] && { [[ "$2" != 14.* ]] || $tools/grep -q bad "\$f"; }; then
    echo "\$f:1:1: error: code should be clang-formatted [-Wclang-format-violations]" >&2
    exit 1
  fi
done
exit 0
STANDIN
  chmod +x "$bin/$1"
}

failures=0
n=0
# name | formatters (NAME=VERSION) | sources | argument | status | what the output holds | formatter run on the files
cases=(
  "only 19|clang-format=19.1.7|good|-|0|Formatting check skipped: the rule is clang-format 14's|none"
  "none at all||good|-|0|this machine has no clang-format|none"
  "19 named 14 is no use|clang-format-14=19.1.7|good|-|0|Formatting check skipped|none"
  "14 beside 19, formatted|clang-format=19.1.7 clang-format-14=14.0.6|good|-|0|All 2 C++ files are formatted|clang-format-14"
  "14 beside 19, a violation|clang-format=19.1.7 clang-format-14=14.0.6|bad|-|1|  ./src/bad.cpp|clang-format-14"
  "14 as plain clang-format|clang-format=14.0.6|bad|-|1|  ./src/bad.cpp|clang-format"
  "fix with 14|clang-format=19.1.7 clang-format-14=14.0.6|good|--fix|0||clang-format-14"
  "fix without 14 refuses|clang-format=19.1.7|good|--fix|1|Nothing formatted|none"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name formatters sources argument status expected runner <<<"$c"
  case_dir="$work/case-$((++n))"
  bin="$case_dir/bin"
  mkdir -p "$bin" "$case_dir/tree/scripts" "$case_dir/tree/src"
  cp "$script" "$case_dir/tree/scripts/check-format"
  echo "int good();" >"$case_dir/tree/src/good.h"
  if [[ "$sources" == bad ]]; then echo "int bad();" >"$case_dir/tree/src/bad.cpp"; else echo "int f();" >"$case_dir/tree/src/ok.cpp"; fi
  touch "$case_dir/calls"
  for f in $formatters; do stand_in "${f%%=*}" "${f#*=}"; done
  args=()
  [[ "$argument" == - ]] || args=("$argument")
  output=$(PATH="$bin:$tools" "$tools/bash" "$case_dir/tree/scripts/check-format" "${args[@]}" 2>&1)
  got=$?
  ran=$(grep -v -- '--version' "$case_dir/calls" | sed 's| .*||; s|.*/||' | sort -u | tr '\n' ' ')
  ran=${ran% }
  problem=""
  [[ "$got" == "$status" ]] || problem+=" status $got, not $status;"
  [[ -z "$expected" || "$output" == *"$expected"* ]] || problem+=" output lacks '$expected';"
  [[ "$ran" == "${runner/none/}" ]] || problem+=" formatter run on the files: '${ran:-none}', not '$runner';"
  if [[ -n "$problem" ]]; then
    echo "FAIL $name:$problem"
    echo "$output" | sed 's/^/    /'
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
done
echo "$((${#cases[@]} - failures)) passed, $failures failed"
[[ $failures -eq 0 ]]
