# Shared by the scripts of this folder: sourced with the build and source
# directories as $1 and $2. Makes a private temporary directory (removed at
# exit) and helpers to fail with a message or skip without a tool.
set -euo pipefail
B=$(realpath "$1")
S=$(realpath "$2")
TMP=$(mktemp -d "${TMPDIR:-/tmp}/kvd_install_XXXXXX")
trap 'rm -rf "$TMP"' EXIT
unset TVX_DEBUGFILE ODBCSYSINI ODBCINI

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs a program not built here (isql, node) that loads the drivers: in a
# sanitizer build with the sanitizer's runtime preloaded, as the drivers
# need; the program's own leaks at exit are not the driver's (and isql copies
# overlapping strings itself); libstdc++ comes first for programs that do
# not link it, so that the runtime finds its exception entry points.
DRIVER_ENV=()
if [ -n "${KVD_SANITIZER_RUNTIME:-}" ]; then
  DRIVER_ENV=("LD_PRELOAD=$KVD_SANITIZER_RUNTIME libstdc++.so.6" "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0:replace_str=0:intercept_strlen=0:intercept_strchr=0:intercept_strndup=0")
fi
with_drivers() { env "${DRIVER_ENV[@]}" "$@"; }

need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
  done
}

# A database of the stand-in with user scott/tiger and table t(n) holding 42.
make_db() {
  local admin=$1 dir=$2
  "$admin" create "$dir" >/dev/null
  "$admin" adduser "$dir" scott tiger >/dev/null
  "$admin" sql "$dir" scott tiger "create table t (n number(5))" >/dev/null
  "$admin" sql "$dir" scott tiger "insert into t values (42)" >/dev/null
}

# odbc.ini with DSNs inst_w and inst_a for the two driver names on database $2.
write_odbc_ini() {
  cat > "$1" <<INI
[inst_w]
Driver = Zezuzeru Oracle Unicode
SQLNETConnect = $2

[inst_a]
Driver = Zezuzeru Oracle ANSI
SQLNETConnect = $2
INI
}

# Private ini files in $TMP naming the build tree's drivers from the install
# template, a database made with make_db and its DSNs inst_w and inst_a.
build_tree_dsns() {
  export ODBCSYSINI=$TMP ODBCINI=$TMP/odbc.ini
  sed "s#@KVD_LIBDIR@#$B/lib#; s#@KVD_DRIVER_UNICODE_NAME@#Zezuzeru Oracle Unicode#; s#@KVD_DRIVER_ANSI_NAME@#Zezuzeru Oracle ANSI#" \
    "$S/packaging/odbcinst.ini.in" >"$TMP/odbcinst.ini"
  make_db "$B/bin/ocilite-admin" "$TMP/db"
  write_odbc_ini "$ODBCINI" "$TMP/db"
}
