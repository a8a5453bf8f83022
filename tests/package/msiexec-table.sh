#!/bin/bash
# The installer package under Wine's own msiexec, silent throughout: one row per
# step, run in order in the build's Wine prefix. Each row prepares the folder,
# runs msiexec (or the demo from the installed folder) and states the exit code,
# the entry then in the list of installed programs and where Avenor.exe and
# Avenor.ini must then be, byte-equal to the build's. Wherever they must not be,
# they are absent; a Lumora.exe placed there stays as it was, whatever runs.
# usage: msiexec-table.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 new_version=$2
old_version=1.0.0.1 # a release before this one
. "$(dirname "$0")/../../scripts/env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
new="$build/Avenor-$new_version-win32.msi"
old="$work/Avenor-$old_version-win32.msi"
# The same files under the older version.
cmake -DAVENOR_MSI_VERSION=$old_version -DAVENOR_MSI_FILES="$build" -DAVENOR_MSI="$old" \
    -P "$AVENOR_ROOT/cmake/PackageMsi.cmake"
lumora="$build/standins/Lumora.exe"
declare -A folders=([default]="C:\\Program Files (x86)\\Tavrik\\Lumora" [other]="C:\\Avenor")
unix() { local p=${1#C:\\}; echo "$WINEPREFIX/drive_c/${p//\\//}"; }
default=$(unix "${folders[default]}")

# Versions of the entries named Avenor, each with its publisher and whether it
# offers "Modify", e.g. "1.0.0.2,Tavrik,NoModify=0x1".
entries() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk 'function put() { if (name == "Avenor") { printf "%s%s,%s,NoModify=%s", sep, ver, pub, nomod; sep = " " } }
             /^HKEY/ { put(); name = pub = ver = nomod = "" }
             $1 == "DisplayName" { name = $3 } $1 == "Publisher" { pub = $3 }
             $1 == "DisplayVersion" { ver = $3 } $1 == "NoModify" { nomod = $3 }
             END { put() }'
}
msi() { wine msiexec "$@" /qn </dev/null >/dev/null 2>&1; }

# A run cut short left its install behind.
if [ -n "$(entries)" ]; then msi /x "Z:${new//\//\\}" || true; msi /x "Z:${old//\//\\}" || true; fi
for f in "${folders[@]}"; do rm -rf "$(unix "$f")"; done

# Wine's installer does not find where installed components are (its component
# lookup fails for a per-machine product), so the uninstall of the copy in
# another folder is told the folder again.
rows=(
# step        | before | msiexec arguments, or demo           | exit | entry afterwards | files in
"install-old  | -      | /i OLD                               | 0    | $old_version     | default"
"upgrade      | lumora | /i NEW                               | 0    | $new_version     | default"
"works        | -      | demo                                 | 0    | $new_version     | default"
"downgrade    | -      | /i OLD                               | 1603 | $new_version     | default"
"repair       | no-ini | /i NEW                               | 0    | $new_version     | default"
"uninstall    | -      | /x NEW                               | 0    | -                | -"
"elsewhere    | -      | /i NEW INSTALLDIR=other              | 0    | $new_version     | other"
"uninstall-2  | -      | /x NEW INSTALLDIR=other              | 0    | -                | -"
)
failed=0 placed=""
for row in "${rows[@]}"; do
    IFS='|' read -ra cols <<<"$row"
    for i in "${!cols[@]}"; do read -r "cols[$i]" <<<"${cols[$i]}"; done
    step=${cols[0]} before=${cols[1]} want_rc=${cols[3]} want_entry=${cols[4]} want_in=${cols[5]}
    case $before in
    lumora) cp "$lumora" "$default/Lumora.exe" && placed=1 ;;
    no-ini) rm "$default/Avenor.ini" ;;
    esac
    command=${cols[2]/NEW/Z:${new//\//\\}}
    command=${command/OLD/Z:${old//\//\\}}
    read -ra args <<<"${command/=other/=${folders[other]}}"
    rc=0
    if [ "${args[0]}" = demo ]; then
        wine "$build/tests/tools/avenor_demo.exe" "${folders[default]}" >"$work/demo.log" 2>&1 || rc=$?
    else
        msi "${args[@]}" || rc=$?
    fi
    problems=()
    # The process's exit status keeps the low byte of the installer's code.
    [ "$rc" = $((want_rc & 255)) ] || problems+=("exit $rc, not $want_rc")
    entry=$(entries)
    [ "$want_entry" = - ] && want="" || want="$want_entry,Tavrik,NoModify=0x1"
    [ "$entry" = "$want" ] || problems+=("entries \"$entry\", not \"$want\"")
    for where in "${!folders[@]}"; do
        for f in Avenor.exe Avenor.ini; do
            path="$(unix "${folders[$where]}")/$f"
            if [ "$where" = "$want_in" ]; then
                cmp -s "$path" "$build/$f" || problems+=("$path is not the build's")
            elif [ -e "$path" ]; then
                problems+=("$path is there")
            fi
        done
    done
    if [ -n "$placed" ] && ! cmp -s "$default/Lumora.exe" "$lumora"; then
        problems+=("Lumora.exe changed or gone")
    fi
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok    $step"
    else
        failed=1
        printf 'FAIL  %s: %s\n' "$step" "$(IFS=';'; echo "${problems[*]}")"
        [ "${args[0]}" = demo ] && cat "$work/demo.log"
    fi
done
for f in "${folders[@]}"; do rm -rf "$(unix "$f")"; done
exit $failed
