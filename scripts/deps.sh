#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when
# any is missing. Safe to run again.
set -euo pipefail
pkgs=(build-essential cmake pkg-config unixodbc unixodbc-dev odbcinst
      libsqlite3-dev sqlite3 googletest libgtest-dev libgmock-dev libbenchmark-dev
      python3 python3-pyodbc libsqliteodbc locales clang libclang-rt-14-dev nodejs
      flex bison)
# npm for the test with Node's odbc package; some nodejs builds carry their
# own npm, which the distribution's npm package would conflict with.
command -v npm >/dev/null 2>&1 || pkgs+=(npm)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
