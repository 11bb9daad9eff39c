#!/usr/bin/env bash
# The driver's main job on the embedded default: installs what is missing,
# builds, creates a demo database with a user, writes a ready unixODBC
# configuration in build/demo/ and runs an ODBC application against both
# drivers through the Driver Manager.
#
# Afterwards:  ODBCSYSINI=build/demo ODBCINI=build/demo/odbc.ini isql DEMO DEMO demo
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh
ROOT=$(pwd)
B=$ROOT/build
D=$B/demo
mkdir -p "$D"

# The embedded default database: a directory holding one SQLite file per user.
if [ -x "$B/bin/ocilite-admin" ]; then
  rm -rf "$D/db"
  "$B/bin/ocilite-admin" create "$D/db" >/dev/null
  "$B/bin/ocilite-admin" adduser "$D/db" DEMO demo >/dev/null
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
"$B/bin/kvd_demo" DEMO DEMO demo || true
echo
"$B/bin/kvd_demo" DEMO_ANSI DEMO demo || true
echo
echo "Configuration left in $D. Try:"
echo "  ODBCSYSINI=$D ODBCINI=$D/odbc.ini isql DEMO DEMO demo"
