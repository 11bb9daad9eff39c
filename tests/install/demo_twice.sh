# scripts/demo.sh run twice on the built tree: the first run is clean (no
# failed statement shown), and a table the user creates between the runs is
# still there after the second.
. "$(dirname "$0")/lib.sh"
need isql
export BUILD_DIR=$B DEMO_DIR=$TMP/demo
"$S/scripts/demo.sh" --no-build >"$TMP/run1" 2>&1 || { cat "$TMP/run1"; fail "first run"; }
if grep -qE 'failed|\[[0-9A-Z]{5}\]' "$TMP/run1"; then cat "$TMP/run1"; fail "first run shows an error"; fi
grep -q 'UPPER_NAME' "$TMP/run1" || fail "first run selected nothing: $(cat "$TMP/run1")"
"$B/bin/ocilite-admin" sql "$TMP/demo/db" DEMO demo "create table mine (n number(5))" >/dev/null
"$B/bin/ocilite-admin" sql "$TMP/demo/db" DEMO demo "insert into mine values (7)" >/dev/null
"$S/scripts/demo.sh" --no-build >"$TMP/run2" 2>&1 || { cat "$TMP/run2"; fail "second run"; }
if grep -qE 'failed|\[[0-9A-Z]{5}\]' "$TMP/run2"; then cat "$TMP/run2"; fail "second run shows an error"; fi
out=$("$B/bin/ocilite-admin" sql "$TMP/demo/db" DEMO demo "select n from mine") || fail "table gone: $out"
echo "$out" | grep -qx 7 || fail "row gone: $out"
echo "demo twice: ok"
