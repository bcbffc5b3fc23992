#!/usr/bin/env bash
# install-deps run by a normal user on a machine without the packages: it installs nothing,
# fails, and names the command for root without assuming sudo. `id` and `dpkg-query` are
# stand-ins in a private folder put first on PATH.
set -u
script=$1
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
printf '#!/bin/sh\necho 1000\n' > "$fake/id"
printf '#!/bin/sh\nexit 1\n' > "$fake/dpkg-query"
printf '#!/bin/sh\necho "apt-get must not run" >&2; exit 3\n' > "$fake/apt-get"
chmod +x "$fake/id" "$fake/dpkg-query" "$fake/apt-get"
output=$(PATH="$fake:$PATH" "$script" 2>&1)
status=$?
fail() { echo "FAIL: $1"; echo "--- output:"; echo "$output"; exit 1; }
[ "$status" -eq 1 ] || fail "exit status $status, wanted 1"
echo "$output" | grep -q "as root" || fail "does not say to run it as root"
command=$(echo "$output" | grep -E '^\s*apt-get install ' || true)
[ -n "$command" ] || fail "no apt-get install line to run as root"
echo "$command" | grep -qw xauth || fail "xauth missing from the packages"
echo "$output" | grep -qE '^\s*sudo ' && fail "the command assumes sudo"
echo "$output" | grep -q "apt-get must not run" && fail "apt-get was run"
echo "install-deps as a user: ok"
