#!/usr/bin/env bash
# Builds the Debian package, checks its metadata and file list, runs Debian's own
# checkers on it (lintian, appstreamcli, desktop-file-validate, man), inspects the
# binary's hardening, unpacks it into a throw-away root and starts the unpacked
# program on the virtual desktop against a loopback server: the start-up request
# must arrive.
set -euo pipefail
build="$1"
support="$2"
work="$(mktemp -d)"
server_pid=""
cleanup() {
    [[ -n "$server_pid" ]] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; fail "cpack could not build the package"; }
deb="$(ls "$work"/pkg/tavrin-connector_*.deb)"
info="$(dpkg-deb --info "$deb")"
echo "$info" | grep -q "Package: tavrin-connector" || fail "package name"
depends="$(echo "$info" | sed -n 's/^ Depends: //p')"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6; do
    [[ "$depends" == *"$lib"* ]] || fail "missing dependency $lib in: $depends"
done
# Only runtime libraries, never development packages.
[[ "$depends" != *"-dev"* ]] || fail "development package in dependencies: $depends"

recommends="$(echo "$info" | sed -n 's/^ Recommends: //p')"
for pkg in qt6-wayland qt6-translations-l10n; do
    [[ "$recommends" == *"$pkg"* ]] || fail "missing recommendation $pkg in: $recommends"
done
# No autostart entry for every user; an upgrade removes the one earlier
# versions shipped.
[[ "$(dpkg-deb --info "$deb" conffiles)" == \
    "remove-on-upgrade /etc/xdg/autostart/tavrin-connector.desktop" ]] ||
    fail "the old system-wide autostart entry is not removed on upgrade"

files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in ./usr/bin/tavrin-connector \
    ./usr/share/applications/tavrin-connector.desktop \
    ./usr/share/icons/hicolor/48x48/apps/tavrin-connector.png \
    ./usr/share/icons/hicolor/scalable/apps/tavrin-connector.svg \
    ./usr/share/man/man1/tavrin-connector.1.gz \
    ./usr/share/doc/tavrin-connector/copyright \
    ./usr/share/doc/tavrin-connector/changelog.Debian.gz \
    ./usr/share/metainfo/org.example.tavrin_connector.metainfo.xml; do
    grep -qx "$f" <<<"$files" || fail "package lacks $f"
done
! grep -q '^\./etc/' <<<"$files" || fail "package installs under /etc: $(grep '^\./etc/' <<<"$files")"

# lintian: no error and no warning, pedantic tags included.
if ! lintian_out="$(lintian --pedantic --display-info --fail-on error,warning "$deb" 2>&1)" ||
    grep -E '^[EW]: ' <<<"$lintian_out"; then
    echo "$lintian_out" >&2
    fail "lintian rejects the package"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
grep -q '^Categories=Network;$' "$root/usr/share/applications/tavrin-connector.desktop" ||
    fail "menu entry category"
grep -qx 'Exec=tavrin-connector /a' "$root/usr/share/applications/tavrin-connector.desktop" ||
    fail "menu entry does not start the program with /a"
desktop-file-validate "$root/usr/share/applications/tavrin-connector.desktop" ||
    fail "menu entry does not validate"
# The build host has no network: the screenshots' URLs are not fetched.
appstreamcli validate --pedantic --no-net \
    "$root/usr/share/metainfo/org.example.tavrin_connector.metainfo.xml" ||
    fail "AppStream metainfo does not validate"
grep -q '<image>[^<]*/window.png</image>' \
    "$root/usr/share/metainfo/org.example.tavrin_connector.metainfo.xml" ||
    fail "metainfo lacks the window screenshot"

# The manual page renders without a single groff warning.
man_err="$(MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/tavrin-connector.1.gz" \
    2>&1 >"$work/man.txt")"
[[ -z "$man_err" ]] || fail "man page warnings: $man_err"
for section in SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS"; do
    grep -q "^$section" "$work/man.txt" || fail "man page lacks $section"
done

# Hardening as Debian builds it: full RELRO with BIND_NOW, PIE, stack protector,
# stripped, no compiler notes.
binary="$root/usr/bin/tavrin-connector"
dynamic="$(readelf -d "$binary")"
grep -q 'BIND_NOW' <<<"$dynamic" || fail "no BIND_NOW"
grep -q 'Flags:.*PIE' <<<"$dynamic" || fail "not a PIE"
# Whole outputs first: grep -q ending a pipe early would fail it under pipefail.
segments="$(readelf -lW "$binary")" symbols="$(readelf --dyn-syms -W "$binary")"
sections="$(readelf -SW "$binary")"
grep -q GNU_RELRO <<<"$segments" || fail "no RELRO segment"
grep -q '__stack_chk_fail' <<<"$symbols" || fail "no stack protector"
! grep -q '\.comment' <<<"$sections" || fail ".comment section left in the binary"
[[ "$(file -b "$binary")" == *", stripped"* ]] || fail "binary not stripped"

# The package's version, its changelog's and the program's own agree.
version="$(echo "$info" | sed -n 's/^ Version: //p')"
[[ "$(zcat "$root/usr/share/doc/tavrin-connector/changelog.Debian.gz" |
    dpkg-parsechangelog -l - -S Version)" == "$version" ]] || fail "changelog version"
program_version="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$binary" --version | sed -n 1p)"
[[ "$program_version" == "tavrin-connector ${version%-*}" ]] ||
    fail "program says '$program_version', package is $version"

# A loopback server that records the requests it gets.
port_file="$work/port"
python3 - "$work/requests" "$port_file" <<'PY' &
import http.server, sys
log, port_file = sys.argv[1], sys.argv[2]
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(log, "a") as f:
            f.write(self.path + "\n")
        body = b"good 127.0.0.1"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *a):
        pass
s = http.server.HTTPServer(("127.0.0.1", 0), H)
open(port_file, "w").write(str(s.server_address[1]))
s.serve_forever()
PY
server_pid=$!
for _ in $(seq 50); do [[ -s "$port_file" ]] && break; sleep 0.1; done
port="$(cat "$port_file")"

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME/tavrin-connector" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
printf '[settings]\nTavrinKey=http://127.0.0.1:%s/packaged-key\nTavrinTime=5\n' "$port" \
    >"$XDG_CONFIG_HOME/tavrin-connector/tavrin-connector.ini"

QT_QPA_PLATFORM=xcb "$support/with-desktop.sh" bash -c '
    "$1" >"$2/program.log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        [[ -s "$2/requests" ]] && break
        sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true' _ "$root/usr/bin/tavrin-connector" "$work"

grep -qx "/packaged-key" "$work/requests" 2>/dev/null ||
    { cat "$work/program.log" >&2 || true; fail "the unpacked program sent no start-up request"; }
if grep -q "packaged-key" "$work/program.log"; then
    fail "the key appeared in the program's log"
fi
echo "package ok: $(basename "$deb"), depends: $depends"
