#!/usr/bin/env bash
# validate.sh desktop|appstream TOOL FILE: runs one validator on FILE. Passes only when the
# validator accepts the file and has nothing to say about it (no warning either); exits 77
# (skipped) when the validator is not installed.
set -uo pipefail
kind=$1 tool=$2 file=$3
if [[ -z "$tool" || ! -x "$tool" ]]; then
  echo "SKIP: the $kind validator is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
case $kind in
  desktop) output=$("$tool" "$file" 2>&1) ;;
  appstream) output=$("$tool" validate --no-net "$file" 2>&1) ;;
  *) echo "unknown kind $kind"; exit 2 ;;
esac
status=$?
echo "$output"
if [[ $status -ne 0 ]]; then
  exit 1
fi
# appstreamcli closes with its summary line; anything but that and its "infos"/"pedantic"
# counts is a finding.
if [[ $kind == desktop && -n "$output" ]]; then
  exit 1
fi
if [[ $kind == appstream ]] && grep -qE '^(E|W):' <<<"$output"; then
  exit 1
fi
exit 0
