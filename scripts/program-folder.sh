# shellcheck shell=bash
# Shared by install-program.sh and uninstall-program.sh (sourced, not run).
#
# The program keeps its data beside its executable: quorvane.mdb, quorvane.mdb.lock and Agd/
# in the program folder. Installing copies a new executable there and never touches the rest.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
data_home=${XDG_DATA_HOME:-$HOME/.local/share}
desktop_file=$data_home/applications/quorvane.desktop
icon_sizes=(16 32 48 64 128 256)

die() {
    echo "$(basename "$0"): $*" >&2
    exit 1
}

# The program folder as an absolute path, refused where a rebuild or a deleted clone would
# take the data with it.
resolve_program_dir() {
    local given=$1 dir
    [ -n "$given" ] || die "no program folder given"
    dir=$(realpath -m -- "$given") || die "cannot resolve the program folder $given"
    case "$dir/" in
    "$repo_root"/*)
        die "the program folder $dir is inside the source tree $repo_root: deleting or cleaning" \
            "the clone would delete the patients with it. Choose a folder outside it" \
            "(default: \$HOME/Quorvane)."
        ;;
    esac
    [ "$dir" != / ] || die "the program folder cannot be /"
    printf '%s\n' "$dir"
}

# A path as one argument of a desktop entry's Exec key: quoted when it holds a reserved
# character, with the desktop file's own escaping of backslashes on top.
desktop_exec_arg() {
    local arg=$1
    arg=${arg//%/%%}
    if [[ "$arg" =~ [[:space:]\"\'\\\>\<~\|\&\;\$\*\?\#\(\)\`] ]]; then
        arg=${arg//\\/\\\\}
        arg=${arg//\"/\\\"}
        arg=${arg//\`/\\\`}
        arg=${arg//\$/\\\$}
        arg="\"$arg\""
    fi
    arg=${arg//\\/\\\\}
    printf '%s\n' "$arg"
}

# The value of KEY in the desktop entry FILE (first [Desktop Entry] occurrence), or nothing.
desktop_value() {
    local file=$1 key=$2
    [ -f "$file" ] || return 0
    sed -n "s/^$key=//p" "$file" | head -n 1
}
