# cmake --install into a prefix, the drivers registered from the installed
# odbcinst.ini template with odbcinst, and isql selecting through the
# installed copy with both drivers. The dynamic loader's trace proves that
# nothing is loaded from the build tree; where a user namespace can be made,
# isql also runs with the build tree hidden behind an empty directory.
. "$(dirname "$0")/lib.sh"
need isql odbcinst
P=$TMP/prefix
cmake --install "$B" --prefix "$P" >"$TMP/install.log" || { cat "$TMP/install.log"; fail "cmake --install"; }
libdir=$(dirname "$(find "$P" -name kvd7r22xw.so)")
for f in kvd7r22xw.so kvd7r22x.so libocilite.so libvqlogin8.so; do
  [ -f "$libdir/$f" ] || fail "$f not installed in $libdir"
done
[ -x "$P/bin/ocilite-admin" ] || fail "ocilite-admin not installed"
template=$P/share/kvd7r22/odbcinst.ini
[ -f "$template" ] || fail "no odbcinst.ini template"
grep -qx "Driver = $libdir/kvd7r22xw.so" "$template" || fail "template does not name the installed driver: $(cat "$template")"
for f in "$libdir"/*.so "$P/bin/ocilite-admin"; do
  if readelf -d "$f" | grep -E 'R(UN)?PATH' | grep -q "$B"; then fail "$f keeps a path into the build tree"; fi
done

export ODBCSYSINI=$TMP/etc ODBCINI=$TMP/etc/odbc.ini
mkdir -p "$ODBCSYSINI"
: >"$ODBCSYSINI/odbcinst.ini"
odbcinst -i -d -f "$template" >/dev/null || fail "odbcinst -i -d -f $template"
odbcinst -q -d | grep -qx '\[Zezuzeru Oracle Unicode\]' || fail "Unicode driver not registered"
odbcinst -q -d | grep -qx '\[Zezuzeru Oracle ANSI\]' || fail "ANSI driver not registered"
make_db "$P/bin/ocilite-admin" "$TMP/db"
write_odbc_ini "$ODBCINI" "$TMP/db"

for dsn in inst_w inst_a; do
  out=$(echo "select n from t" | LD_DEBUG=libs with_drivers isql -b -v "$dsn" scott tiger 2>"$TMP/ld.$dsn")
  echo "$out" | grep -q '42' || fail "$dsn: isql did not select through the installed copy: $out"
  grep 'calling init:' "$TMP/ld.$dsn" | grep -q "$libdir/kvd7r22" || fail "$dsn: the installed driver was not loaded"
  if grep 'calling init:' "$TMP/ld.$dsn" | grep -q "$B/"; then
    fail "$dsn: loaded from the build tree: $(grep 'calling init:' "$TMP/ld.$dsn" | grep "$B/")"
  fi
done
if unshare -rm true 2>/dev/null; then
  mkdir -p "$TMP/empty"
  for dsn in inst_w inst_a; do
    out=$(echo "select n from t" | unshare -rm sh -c 'mount --bind "$1" "$2" && shift 2 && "$@"' sh \
            "$TMP/empty" "$B" env "${DRIVER_ENV[@]}" isql -b -v "$dsn" scott tiger 2>&1) ||
      fail "$dsn: isql with the build tree hidden: $out"
    echo "$out" | grep -q '42' || fail "$dsn: nothing selected with the build tree hidden: $out"
  done
fi
echo "install copy: ok"
