#!/bin/bash
# What only Linux tools can read, where the packages are made: the tables of
# the package the build made, as a validator and a managed install ask for
# them, and a package code that follows every byte. One check per row.
# usage: tables-test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2 m="$1/Avenor-$2-win32.msi"
. "$(dirname "$0")/../../scripts/env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
package() { cmake -DAVENOR_MSI_VERSION=1.1.0.0 -DAVENOR_MSI_FILES="$build" -DAVENOR_MSI="$1" "${@:2}" \
    -P "$AVENOR_ROOT/cmake/PackageMsi.cmake" >/dev/null; }
table() { msiinfo export "$m" "$1" | tr -d '\r\0'; }
package_code() { msiinfo export "$1" _SummaryInformation | sed -n 's/^9\t//p'; }
# The same sources give the same bytes; one property more gives another code.
code() {
    sed 's|<Property Id="ARPNOMODIFY" Value="1" />|&<Property Id="EXTRA" Value="1" />|' \
        "$AVENOR_ROOT/res/Avenor.wxs" >"$work/extra.wxs"
    package "$work/one.msi" && package "$work/again.msi" && package "$work/extra.msi" -DAVENOR_MSI_SOURCE="$work/extra.wxs" &&
        cmp "$work/one.msi" "$work/again.msi" && [ -n "$(package_code "$work/one.msi")" ] &&
        [ "$(package_code "$work/one.msi")" != "$(package_code "$work/extra.msi")" ]
}
rows=(
"Avenor.exe: version, language 1033, compressed with a checksum | table File | grep -qP \"^Avenor\\.exe\\tAvenor\\.exe\\tAvenor\\.exe\\t\\d+\\t$version\\t1033\\t1536\\t\""
"a hash row for Avenor.ini only                                 | [ \"\$(table MsiFileHash | cut -f1 | tail -n +4)\" = Avenor.ini ]"
"the icon of the list of installed programs is the launcher's   | table Property | grep -qxP 'ARPPRODUCTICON\\tAvenor\\.ico' && cmp <(msiinfo extract \"\$m\" Icon.Avenor.ico) \"\$AVENOR_ROOT/res/Avenor.ico\""
"the folders are secure properties                              | table Property | grep -qxP 'SecureCustomProperties\\tAVENOR_OLDER;AVENOR_NEWER;AVENOR_REMEMBERED;INSTALLDIR'"
"database code page 1252                                        | table _ForceCodepage | grep -qP '^1252\\t_ForceCodepage'"
"the package code follows every byte                            | code"
)
failed=0
for row in "${rows[@]}"; do
    IFS='|' read -r name command <<<"$row"
    eval "$command" >"$work/row.log" 2>&1 && echo "ok    $name" || { echo "FAIL  $name"; cat "$work/row.log"; failed=1; }
done
exit $failed
