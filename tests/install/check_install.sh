#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a distribution
# would: every file in its place, the validators pass, the programs run.
#   check_install.sh BUILD_DIR GUI(ON|OFF)
set -euo pipefail
build=$1
gui=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

cmake --install "$build" --prefix "$root/usr" >/dev/null

failed=0
need() {
    if [ ! -e "$root/usr/$1" ]; then
        echo "not installed: $1"
        failed=1
    fi
}
need bin/vellumet-cli
need share/vellumet/templates/Main.ini
need share/vellumet/templates/7421.mdb
need lib/udev/rules.d/70-vellumet-station.rules
need lib/systemd/system/vellumet-watch.service
need lib/sysusers.d/vellumet.conf
# The watch service's settings hold a password: /etc beside /usr, root only.
if [ ! -e "$root/etc/default/vellumet-watch" ]; then
    echo "not installed: /etc/default/vellumet-watch"
    failed=1
elif [ "$(stat -c %a "$root/etc/default/vellumet-watch")" != 600 ]; then
    echo "/etc/default/vellumet-watch is readable by others"
    failed=1
fi
need share/bash-completion/completions/vellumet-cli
need share/man/man1/vellumet-cli.1
if [ "$gui" = ON ]; then
    need bin/vellumet
    need share/man/man1/vellumet.1
    need share/applications/org.vellumet.Vellumet.desktop
    need share/metainfo/org.vellumet.Vellumet.metainfo.xml
    need share/icons/hicolor/scalable/apps/vellumet.svg
    for size in 16 22 24 32 48 64 128 256; do
        png=share/icons/hicolor/${size}x${size}/apps/vellumet.png
        need "$png"
        if [ -e "$root/usr/$png" ] && ! file "$root/usr/$png" | grep -q "$size x $size"; then
            echo "$png is not $size x $size pixels"
            failed=1
        fi
    done
    desktop-file-validate "$root/usr/share/applications/org.vellumet.Vellumet.desktop" || failed=1
    appstreamcli validate --no-net "$root/usr/share/metainfo/org.vellumet.Vellumet.metainfo.xml" ||
        failed=1
    # The desktop entry starts a program that is installed, with an icon that is.
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root/usr/share/applications/org.vellumet.Vellumet.desktop")
    icon_name=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/org.vellumet.Vellumet.desktop")
    need "bin/$exec_name"
    need "share/icons/hicolor/scalable/apps/$icon_name.svg"
fi
[ $failed -eq 0 ] || exit 1

# The installed programs run and find nothing missing. (Outputs are captured
# before grep -q looks at them: under pipefail an early exit of grep would fail.)
version=$("$root/usr/bin/vellumet-cli" --version)
grep -q '^vellumet-cli [0-9]' <<<"$version"
if [ "$gui" = ON ]; then
    version=$("$root/usr/bin/vellumet" --version)
    grep -q '^Vellumet [0-9]' <<<"$version"
fi
# The man pages carry every command of the help text.
page=$(sed 's/\\-/-/g' "$root/usr/share/man/man1/vellumet-cli.1")
help=$("$root/usr/bin/vellumet-cli" --help)
for command in $(awk '/^Commands:/ {on = 1; next} /^$/ {on = 0} on && /^  [a-z]/ {print $1}' <<<"$help"); do
    grep -qF -- "$command" <<<"$page" || {
        echo "vellumet-cli.1 lacks the command $command"
        exit 1
    }
done
# ... and each command's own help, with its example.
for command in watch set-settings set-alarm records; do
    example=$("$root/usr/bin/vellumet-cli" "$command" --help | sed -n '/^Example:/{n;s/^ *//;p}')
    grep -qF -- "$example" <<<"$page" || {
        echo "vellumet-cli.1 lacks the example of $command: $example"
        exit 1
    }
done
man -l "$root/usr/share/man/man1/vellumet-cli.1" 2>&1 >/dev/null | grep . && exit 1
# A first start of the installed command line makes its data folder from the templates.
data=$root/data
"$root/usr/bin/vellumet-cli" --data-dir "$data" records >/dev/null
[ -s "$data/7421.mdb" ] && [ -s "$data/Main.ini" ]
echo "install tree checked"
