#!/usr/bin/env bash
# The Debian package, installed as a user would install it: builds it with CPack from a built
# release folder, installs it with apt-get, runs the installed programs and the installed
# Python module far from the sources and the build, compares their results with the build's,
# and removes the package again (also when a check fails).
#   tests/install/deb_package.sh BUILD_DIR
# Needs root (or sudo) for apt-get; fails when a package named marlinq is installed already,
# rather than replace someone's installation.
set -uo pipefail
BUILD=$(cd "${1:?usage: deb_package.sh BUILD_DIR}" && pwd) || exit 1
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
WORK=$(mktemp -d)
INSTALLED=0
cleanup() {
    if [ "$INSTALLED" -eq 1 ]; then
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 remove --purge -y -qq marlinq >/dev/null 2>&1 ||
            echo "deb_package: could not remove the package marlinq" >&2
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "--- $*"; }

BATCH="$BUILD/apps/marlinq-batch"
SYSTEM_PYTHON=/usr/bin/python3   # the interpreter the package installs for
version_line=$("$BATCH" --version) || fail "the build's marlinq-batch does not run"
version=$(sed -E 's/^marlinq-batch ([^ ]+) .*/\1/' <<<"$version_line")
arch=$(dpkg --print-architecture)

if dpkg-query -W -f='${Status}' marlinq 2>/dev/null | grep -q "install ok installed"; then
    fail "a package marlinq is installed already; remove it (apt-get remove marlinq) to run this test"
fi

step "cpack"
rm -f "$BUILD"/marlinq_*.deb
(cd "$BUILD" && cpack -G DEB >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log" >&2; fail "cpack failed"; }
deb="$BUILD/marlinq_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$BUILD"/*.deb 2>/dev/null)"

step "contents of $(basename "$deb")"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$WORK/contents"
for f in /usr/bin/marlinq /usr/bin/marlinq-batch /usr/share/marlinq/Chains_values.dat /usr/share/marlinq/Chains_values01.dat \
    /usr/share/marlinq/symbols/sun.jpg /usr/share/applications/marlinq.desktop \
    /usr/share/icons/hicolor/scalable/apps/marlinq.svg /usr/share/man/man1/marlinq.1.gz \
    /usr/share/man/man1/marlinq-batch.1.gz /usr/share/doc/marlinq/README.md /usr/share/doc/marlinq/docs/main-window.png \
    /usr/lib/python3/dist-packages/marlinq/__init__.py \
    /usr/lib/python3/dist-packages/marlinq/_layout.py; do
    grep -qxF "$f" "$WORK/contents" || fail "the package lacks $f"
done
grep -q '^/usr/lib/python3/dist-packages/marlinq/_core\..*\.so$' "$WORK/contents" || fail "the package lacks the compiled module"
! grep -q "^/usr/local\|/build/\|^/work" "$WORK/contents" || fail "the package holds files outside /usr: $(grep "^/usr/local\|/build/" "$WORK/contents")"

step "apt-get install ./$(basename "$deb")"
INSTALLED=1
(cd "$BUILD" && DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
    --no-install-recommends "./$(basename "$deb")") >"$WORK/apt.log" 2>&1 ||
    { cat "$WORK/apt.log" >&2; fail "apt-get install failed"; }

# The build's results, each in its own empty folder, then the installed program's in another.
# The installed programs run with a plain PATH and no PYTHONPATH: nothing of the build is seen.
mkdir "$WORK/build-run" "$WORK/installed-run"
plain() { env -i HOME="$WORK" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
# The build's programs also look in the source tree's data/: the installed ones run with that
# folder hidden behind an empty one (in a mount namespace of their own, where the system
# allows one), so that they can only find the data the package installed.
SOURCE_DATA="$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$BUILD/CMakeCache.txt")/data"
mkdir "$WORK/empty"
if unshare -m sh -c "mount --bind '$WORK/empty' '$SOURCE_DATA' && [ ! -e '$SOURCE_DATA/Chains_values.dat' ]" 2>/dev/null; then
    installed() { unshare -m sh -c 'mount --bind "$1" "$2" && shift 2 && exec env -i HOME="$0" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"' \
        "$WORK" "$WORK/empty" "$SOURCE_DATA" "$@"; }
else
    echo "deb_package: no mount namespace here; the source tree's data/ stays visible" >&2
    installed() { plain "$@"; }
fi
batch_runs() {  # batch_runs PROGRAM: a Poisson-Boltzmann run with its summary and a small sweep
    "$1" --quiet --method pb -o dist.txt --summary summary.json &&
        "$1" --quiet --sweep ka=0.2,0.5,2 --sweep zp=12,18 -o sweep.csv
}
step "the installed marlinq-batch from an empty folder"
[ "$(plain sh -c 'command -v marlinq-batch')" = /usr/bin/marlinq-batch ] || fail "marlinq-batch is not on the PATH"
[ "$(plain marlinq-batch --version)" = "$version_line" ] || fail "installed: $(plain marlinq-batch --version), built: $version_line"
(cd "$WORK/build-run" && batch_runs "$BATCH") || fail "the build's runs failed"
(cd "$WORK/installed-run" && installed bash -c "$(declare -f batch_runs); batch_runs marlinq-batch") ||
    fail "the installed marlinq-batch failed (does it find its tables?)"
for f in dist.txt summary.json sweep.csv; do
    cmp "$WORK/build-run/$f" "$WORK/installed-run/$f" || fail "the installed program's $f differs from the build's"
done
[ -z "$(ls -A "$WORK/installed-run" | grep -v '^dist.txt$\|^summary.json$\|^sweep.csv$')" ] ||
    fail "the installed program left files: $(ls "$WORK/installed-run")"

step "import marlinq outside the source tree"
script='import marlinq
print(marlinq.__file__)
print(marlinq.data_file("Chains_values.dat"))
print("marlinq-batch %s (commit %s)" % (marlinq.__version__, marlinq.__commit__))
marlinq.run(method="pb").save_distribution("dist-python.txt")'
(cd "$WORK/installed-run" && installed "$SYSTEM_PYTHON" -c "$script" >python.txt 2>"$WORK/python.err") ||
    { cat "$WORK/python.err" >&2; fail "python3 -c 'import marlinq' failed with the installed package"; }
(cd "$WORK/build-run" && env PYTHONPATH="$BUILD/python" "$SYSTEM_PYTHON" -c "$script" >python.txt) ||
    fail "the build's module failed"
mapfile -t got <"$WORK/installed-run/python.txt"
[ "${got[0]}" = /usr/lib/python3/dist-packages/marlinq/__init__.py ] || fail "imported ${got[0]}, not the installed module"
[ "${got[1]}" = /usr/share/marlinq/Chains_values.dat ] || fail "the installed module finds its table at ${got[1]}"
[ "${got[2]}" = "$version_line" ] || fail "the installed module is ${got[2]}, the build $version_line"
cmp "$WORK/build-run/dist-python.txt" "$WORK/installed-run/dist-python.txt" || fail "the installed module's distribution differs"
cmp "$WORK/installed-run/dist.txt" "$WORK/installed-run/dist-python.txt" || fail "module and program disagree"

step "the window: menu entry, icon, manual pages, a start without a display"
desktop-file-validate /usr/share/applications/marlinq.desktop || fail "the desktop entry is not valid"
grep -qx 'Exec=marlinq' /usr/share/applications/marlinq.desktop && grep -qx 'Icon=marlinq' /usr/share/applications/marlinq.desktop ||
    fail "the desktop entry does not start marlinq with its icon"
[ "$(plain sh -c 'command -v marlinq')" = /usr/bin/marlinq ] || fail "marlinq is not on the PATH"
[ "$(plain marlinq --version)" = "${version_line/marlinq-batch/marlinq}" ] || fail "marlinq --version: $(plain marlinq --version)"
for page in marlinq marlinq-batch; do
    text=$(plain MANWIDTH=100 man "$page" 2>/dev/null) || text=$(zcat "/usr/share/man/man1/$page.1.gz")
    grep -q -- "--version" <<<"$text" || fail "the manual page of $page lacks --version"
done
plain MANWIDTH=100 man marlinq-batch 2>/dev/null | grep -q -- "--sweep NAME=VALUES" || zcat /usr/share/man/man1/marlinq-batch.1.gz | grep -q 'sweep NAME=VALUES' ||
    fail "the manual page of marlinq-batch lacks its options"
# The window starts, finds its pictures and stays up until it is ended.
(cd "$WORK/installed-run" && installed QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$WORK" timeout 5 marlinq >window.log 2>&1)
rc=$?
[ "$rc" -eq 124 ] || { cat "$WORK/installed-run/window.log" >&2; fail "the installed window ended with status $rc before it was closed"; }

step "apt-get remove"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 remove --purge -y -qq marlinq >"$WORK/apt.log" 2>&1 ||
    { cat "$WORK/apt.log" >&2; fail "apt-get remove failed"; }
INSTALLED=0
for f in /usr/bin/marlinq-batch /usr/share/marlinq /usr/lib/python3/dist-packages/marlinq /usr/share/applications/marlinq.desktop; do
    [ ! -e "$f" ] || fail "$f is left after the package was removed"
done
echo "PASS: the package $(basename "$deb") installs, runs as the build does and is removed"
