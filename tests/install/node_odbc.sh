# Node's odbc package (from npm, built against unixodbc-dev) with both
# drivers of the build tree; see node_odbc.js. The package is installed once
# into the build directory (build/node-odbc), never into the source tree.
# Skipped when node or npm is missing or the package cannot be installed.
. "$(dirname "$0")/lib.sh"
need node npm isql
N=$B/node-odbc
if [ ! -f "$N/node_modules/odbc/package.json" ]; then
  mkdir -p "$N"
  [ -f "$N/package.json" ] || echo '{"name": "kvd-node-odbc-test", "private": true}' >"$N/package.json"
  if ! (cd "$N" && npm install --no-audit --no-fund --loglevel=error odbc@2 >"$TMP/npm.log" 2>&1); then
    cat "$TMP/npm.log"
    echo "skipped: npm could not install the odbc package"
    exit 77
  fi
fi
build_tree_dsns
NODE_PATH=$N/node_modules with_drivers node "$(dirname "$0")/node_odbc.js"
