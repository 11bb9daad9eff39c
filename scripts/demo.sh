#!/usr/bin/env bash
# The driver's main job on the embedded default: installs what is missing,
# builds, creates a demo database with a user (once: a database from an
# earlier run is kept with everything in it), writes a ready unixODBC
# configuration in build/demo/ and runs an ODBC application against both
# drivers through the Driver Manager.
#
#   ./scripts/demo.sh              deps, build (quiet; its log in build/), run
#   ./scripts/demo.sh --no-build   run on what is built
# BUILD_DIR (default build) and DEMO_DIR (default $BUILD_DIR/demo) move them.
#
# Afterwards:  ODBCSYSINI=build/demo ODBCINI=build/demo/odbc.ini isql DEMO DEMO demo
set -euo pipefail
cd "$(dirname "$0")/.."
B=$(realpath -m "${BUILD_DIR:-build}")
D=$(realpath -m "${DEMO_DIR:-$B/demo}")
if [ "${1:-}" != "--no-build" ]; then
  ./scripts/deps.sh
  mkdir -p "$B"
  log=$B/demo-build.log
  echo "Building in $B (log: $log)"
  if ! BUILD_DIR=$B ./scripts/build.sh >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "Build failed; the whole log is in $log" >&2
    exit 1
  fi
fi
mkdir -p "$D"

# The embedded default database: a directory holding one SQLite file per
# user. Created on the first run only; later runs find the user's tables.
ADMIN=$B/bin/ocilite-admin
if [ -x "$ADMIN" ]; then
  "$ADMIN" create "$D/db" >/dev/null
  if ! "$ADMIN" users "$D/db" | grep -q '^DEMO\b'; then
    "$ADMIN" adduser "$D/db" DEMO demo >/dev/null
    echo "Created the demo database $D/db with user DEMO (password demo)"
  else
    echo "Using the demo database $D/db from an earlier run"
  fi
fi

cat > "$D/odbcinst.ini" <<INI
[Zezuzeru Oracle Unicode]
Description = Zezuzeru ODBC driver for Oracle (Unicode)
Driver = $B/lib/kvd7r22xw.so
Threading = 0

[Zezuzeru Oracle ANSI]
Description = Zezuzeru ODBC driver for Oracle (ANSI)
Driver = $B/lib/kvd7r22x.so
Threading = 0
INI
cat > "$D/odbc.ini" <<INI
[ODBC Data Sources]
DEMO = Zezuzeru Oracle Unicode
DEMO_ANSI = Zezuzeru Oracle ANSI

[DEMO]
Driver = Zezuzeru Oracle Unicode
Description = Demo database on the embedded default (Unicode driver)
SQLNETConnect = $D/db

[DEMO_ANSI]
Driver = Zezuzeru Oracle ANSI
Description = Demo database on the embedded default (ANSI driver)
SQLNETConnect = $D/db
INI

export ODBCSYSINI=$D ODBCINI=$D/odbc.ini
status=0
"$B/bin/kvd_demo" DEMO DEMO demo || status=1
echo
"$B/bin/kvd_demo" DEMO_ANSI DEMO demo || status=1
echo
echo "Configuration left in $D. Try:"
echo "  ODBCSYSINI=$D ODBCINI=$D/odbc.ini isql DEMO DEMO demo"
exit $status
