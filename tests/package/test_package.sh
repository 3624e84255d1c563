#!/usr/bin/env bash
# Builds the Debian package, checks its metadata and file list, unpacks it into a
# throw-away root and starts the unpacked program on the virtual desktop against a
# loopback server: the start-up request must arrive.
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

files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in ./usr/bin/tavrin-connector \
    ./usr/share/applications/tavrin-connector.desktop \
    ./etc/xdg/autostart/tavrin-connector.desktop \
    ./usr/share/icons/hicolor/48x48/apps/tavrin-connector.png \
    ./usr/share/icons/hicolor/scalable/apps/tavrin-connector.svg; do
    grep -qx "$f" <<<"$files" || fail "package lacks $f"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
grep -q '^Categories=Network;$' "$root/usr/share/applications/tavrin-connector.desktop" ||
    fail "menu entry category"

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
