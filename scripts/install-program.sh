#!/usr/bin/env bash
# Installs a built program into its program folder and into the user's desktop menu:
#   scripts/install-program.sh BUILD_DIR PROGRAM_DIR
#
# The executable in PROGRAM_DIR is replaced by an atomic rename, so a running copy keeps
# working and a failed copy leaves the old one in place. quorvane.mdb, its lock and Agd/ are
# never touched. The menu entry and the icons go under $XDG_DATA_HOME (~/.local/share).
set -euo pipefail
. "$(dirname "$0")/program-folder.sh"

[ $# -eq 2 ] || die "usage: $0 BUILD_DIR PROGRAM_DIR"
build_dir=$(realpath -m -- "$1")
program_dir=$(resolve_program_dir "$2")
case "$program_dir" in
*$'\n'*) die "the program folder's name cannot hold a line break" ;;
esac

executable=$build_dir/quorvane
[ -x "$executable" ] || die "$executable is missing: build the program first"
for size in "${icon_sizes[@]}"; do
    [ -f "$build_dir/icons/quorvane-$size.png" ] || die "$build_dir/icons/quorvane-$size.png is missing"
done
if [ -e "$program_dir" ] && [ ! -d "$program_dir" ]; then
    die "$program_dir exists and is not a folder"
fi
target=$program_dir/quorvane
if [ -e "$target" ] && [ ! -f "$target" ]; then
    die "$target exists and is not a file: nothing was installed"
fi

mkdir -p -- "$program_dir"
staged=$(mktemp "$program_dir/.quorvane.XXXXXX")
trap 'rm -f -- "$staged"' EXIT
cp -- "$executable" "$staged"
chmod 755 -- "$staged"
mv -f -- "$staged" "$target"
trap - EXIT

# The icon, at every size the menus ask for.
for size in "${icon_sizes[@]}"; do
    icon_dir=$data_home/icons/hicolor/${size}x${size}/apps
    mkdir -p -- "$icon_dir"
    cp -- "$build_dir/icons/quorvane-$size.png" "$icon_dir/.quorvane.png.new"
    mv -f -- "$icon_dir/.quorvane.png.new" "$icon_dir/quorvane.png"
done
touch -- "$data_home/icons/hicolor"

# The menu entry; say so when it used to start a copy in another folder.
previous=$(desktop_value "$desktop_file" TryExec)
tryexec=${target//\\/\\\\}
entry=$(<"$repo_root/packaging/quorvane.desktop.in")
entry=${entry//@EXEC@/"$(desktop_exec_arg "$target")"}
entry=${entry//@TRYEXEC@/"$tryexec"}
entry=${entry//@WMCLASS@/Quorvane}
mkdir -p -- "$data_home/applications"
printf '%s\n' "$entry" >"$desktop_file.new"
mv -f -- "$desktop_file.new" "$desktop_file"
if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database -q "$data_home/applications" || true
fi

echo "Quorvane is installed in $program_dir"
echo "  program:    $target"
echo "  data:       $program_dir/quorvane.mdb and $program_dir/Agd/ (made at the first start)"
echo "  menu entry: $desktop_file"
if [ -n "$previous" ] && [ "$previous" != "$tryexec" ]; then
    echo "Note: the menu entry used to start $previous; it now starts $target." \
        "The data beside the other copy stays where it is."
fi
