#!/bin/bash
# The installer package under Wine's own msiexec, silent throughout: one row per
# step, run in order in the build's Wine prefix. The steps start from the
# package actually released (tests/package/released/), never from one rebuilt
# from today's sources; the newer package is today's tree under a higher test
# version. Each row prepares the folder, runs msiexec (or the demo from the
# installed folder, or a check of the packages) and states the exit code, the
# entry then in the list of installed programs with its install location (and
# the folder the product remembers, the same) and where Avenor.exe and
# Avenor.ini must then be, byte-equal to that package's. Wherever they must
# not be, they are absent; a Lumora.exe placed there stays as it was,
# whatever runs.
# usage: msiexec-table.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
. "$(dirname "$0")/../../scripts/env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
released_version=1.0.0.2 new_version=1.1.0.0
rel="$AVENOR_ROOT/tests/package/released/Avenor-$released_version-win32.msi"
new="$work/Avenor-$new_version-win32.msi"
package() { cmake -DAVENOR_MSI_VERSION=$new_version -DAVENOR_MSI_FILES="$build" -DAVENOR_MSI="$1" "${@:2}" \
    -P "$AVENOR_ROOT/cmake/PackageMsi.cmake" >/dev/null; }
package "$new"
mkdir "$work/rel" "$work/new" && cp "$build/Avenor.exe" "$build/Avenor.ini" "$work/new/"
(cd "$work/rel" && msiextract "$rel" >/dev/null && mv ./*/Tavrik/Lumora/Avenor.* .)
lumora="$build/standins/Lumora.exe"
declare -A folders=([default]="C:\\Program Files (x86)\\Tavrik\\Lumora" [other]="C:\\Avenor")
unix() { local p=${1#C:\\}; echo "$WINEPREFIX/drive_c/${p//\\//}"; }

# The entries named Avenor, each as version, publisher, whether it offers
# "Modify" and its install location, then the remembered folder, e.g.
# "1.1.0.0,Tavrik,NoModify=0x1,C:\Avenor\ remembers C:\Avenor\".
entries() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk 'function put() { if (name == "Avenor") { printf "%s%s,%s,NoModify=%s,%s", sep, ver, pub, nomod, at; sep = " " } }
             /^HKEY/ { put(); name = pub = ver = nomod = at = "" }
             $1 == "DisplayName" { name = $3 } $1 == "Publisher" { pub = $3 }
             $1 == "DisplayVersion" { ver = $3 } $1 == "NoModify" { nomod = $3 }
             $1 == "InstallLocation" { sub(/.*REG_SZ +/, ""); at = $0 }
             END { put() }'
    wine reg query 'HKLM\Software\Tavrik\Avenor' /v InstallDir /reg:32 2>/dev/null | tr -d '\r' |
        sed -n 's/.*REG_SZ *\(.*\)/ remembers \1/p'  || true
}
msi() { wine msiexec "$@" /qn /norestart </dev/null >/dev/null 2>&1; }
# What a validator asks of the tables, read from the package the build made.
tables() {
    local m="$build/Avenor-$version-win32.msi" files hashes properties codepage
    files=$(msiinfo export "$m" File) hashes=$(msiinfo export "$m" MsiFileHash | cut -f1 | tail -n +4)
    properties=$(msiinfo export "$m" Property) codepage=$(msiinfo export "$m" _ForceCodepage | tr -d '\0')
    grep -qP "^Avenor\.exe\tAvenor\.exe\tAvenor\.exe\t\d+\t$version\t1033\t" <<<"$files" &&
        [ "$hashes" = Avenor.ini ] && grep -qxP 'ARPPRODUCTICON\tAvenor\.ico\r?' <<<"$properties" &&
        grep -qP '^1252\t_ForceCodepage' <<<"$codepage" &&
        cmp <(msiinfo extract "$m" Icon.Avenor.ico) "$AVENOR_ROOT/res/Avenor.ico"
}
# The package code follows every byte: the same sources give the same bytes,
# one property more gives another code.
package_code() { msiinfo export "$1" _SummaryInformation | sed -n 's/^9\t//p'; }
code() {
    sed 's|<Property Id="ARPNOMODIFY" Value="1" />|&<Property Id="EXTRA" Value="1" />|' \
        "$AVENOR_ROOT/res/Avenor.wxs" >"$work/extra.wxs"
    package "$work/again.msi" && package "$work/extra.msi" -DAVENOR_MSI_SOURCE="$work/extra.wxs" &&
        cmp "$new" "$work/again.msi" && [ -n "$(package_code "$new")" ] &&
        [ "$(package_code "$new")" != "$(package_code "$work/extra.msi")" ]
}

# A run cut short left its install behind.
if [ -n "$(entries)" ]; then msi /x "Z:${new//\//\\}" || true; msi /x "Z:${rel//\//\\}" || true; fi
for f in "${folders[@]}"; do rm -rf "$(unix "$f")"; done

# A row's files are those of the released package (rel) or of today's (new).
# The repair's damage leaves Avenor.exe's size and version as they were.
rows=(
# step            | before          | msiexec arguments, demo or check | exit | entry afterwards | files in
"tables           | -               | tables                           | 0    | -                | -"
"package-code     | -               | code                             | 0    | -                | -"
"install-released | -               | /i REL                           | 0    | 1.0.0.2@default  | default:rel"
"upgrade          | lumora@default  | /i NEW                           | 0    | 1.1.0.0@default  | default:new"
"works            | -               | demo default                     | 0    | 1.1.0.0@default  | default:new"
"downgrade        | -               | /i REL                           | 1603 | 1.1.0.0@default  | default:new"
"repair           | damage@default  | /i NEW                           | 0    | 1.1.0.0@default  | default:new"
"uninstall        | -               | /x NEW                           | 0    | -                | -"
"elsewhere        | lumora@other    | /i REL INSTALLDIR=other          | 0    | 1.0.0.2@other    | other:rel"
"upgrade-there    | -               | /i NEW                           | 0    | 1.1.0.0@other    | other:new"
"works-there      | -               | demo other                       | 0    | 1.1.0.0@other    | other:new"
"uninstall-there  | -               | /x NEW                           | 0    | -                | -"
"install-again    | -               | /i REL                           | 0    | 1.0.0.2@default  | default:rel"
"moved            | -               | /i NEW INSTALLDIR=other          | 0    | 1.1.0.0@other    | other:new"
"uninstall-moved  | -               | /x NEW                           | 0    | -                | -"
)
failed=0 placed=()
for row in "${rows[@]}"; do
    IFS='|' read -ra cols <<<"$row"
    for i in "${!cols[@]}"; do read -r "cols[$i]" <<<"${cols[$i]}"; done
    step=${cols[0]} before=${cols[1]} want_rc=${cols[3]} want_entry=${cols[4]}
    want_in=${cols[5]%:*} want_files=${cols[5]#*:}
    at=$(unix "${folders[${before#*@}]:-}")
    case $before in
    lumora@*) mkdir -p "$at" && cp "$lumora" "$at/Lumora.exe" && placed+=("$at/Lumora.exe") ;;
    damage@*)
        byte=$(od -An -tu1 -j4096 -N1 "$at/Avenor.exe")
        printf '%b' "\\$(printf %o $((255 - byte)))" | dd of="$at/Avenor.exe" bs=1 seek=4096 conv=notrunc status=none
        rm "$at/Avenor.ini"
        ;;
    esac
    command=${cols[2]/NEW/Z:${new//\//\\}}
    command=${command/REL/Z:${rel//\//\\}}
    read -ra args <<<"${command/=other/=${folders[other]}}"
    rc=0
    case ${args[0]} in
    demo) wine "$build/tests/tools/avenor_demo.exe" "${folders[${args[1]}]}" >"$work/demo.log" 2>&1 || rc=$? ;;
    tables | code) "${args[0]}" >"$work/check.log" 2>&1 || rc=$? ;;
    *) msi "${args[@]}" || rc=$? ;;
    esac
    problems=()
    # The process's exit status keeps the low byte of the installer's code.
    [ "$rc" = $((want_rc & 255)) ] || problems+=("exit $rc, not $want_rc")
    entry=$(entries)
    want=""
    if [ "$want_entry" != - ]; then
        where="${folders[${want_entry#*@}]}\\"
        want="${want_entry%@*},Tavrik,NoModify=0x1,$where remembers $where"
    fi
    [ "$entry" = "$want" ] || problems+=("entries \"$entry\", not \"$want\"")
    for where in "${!folders[@]}"; do
        for f in Avenor.exe Avenor.ini; do
            path="$(unix "${folders[$where]}")/$f"
            if [ "$where" = "$want_in" ]; then
                cmp -s "$path" "$work/$want_files/$f" || problems+=("$path is not the $want_files package's")
            elif [ -e "$path" ]; then
                problems+=("$path is there")
            fi
        done
    done
    for f in "${placed[@]}"; do cmp -s "$f" "$lumora" || problems+=("$f changed or gone"); done
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok    $step"
    else
        failed=1
        printf 'FAIL  %s: %s\n' "$step" "$(IFS=';'; echo "${problems[*]}")"
        case ${args[0]} in demo) cat "$work/demo.log" ;; tables | code) cat "$work/check.log" ;; esac
    fi
done
for f in "${folders[@]}"; do rm -rf "$(unix "$f")"; done
exit $failed
