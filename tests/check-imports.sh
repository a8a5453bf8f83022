#!/bin/sh
# What the built launcher imports: system DLLs only (the compiler's runtime is
# linked in), and the user's UI language, never a regional-format or system
# language call. On Windows the UI language and the regional format differ
# (an English UI with German formats must get English boxes); Wine derives
# both from one locale setting, so no run under it can tell the calls apart.
# usage: check-imports.sh EXE OBJDUMP
set -eu
table=$("$2" -p "$1")
dlls=$(printf '%s\n' "$table" | awk '/DLL Name:/ { print tolower($3) }' | sort | tr '\n' ' ')
if [ "$dlls" != "kernel32.dll msvcrt.dll user32.dll " ]; then
    echo "imports from: $dlls(want kernel32.dll msvcrt.dll user32.dll)"
    exit 1
fi
printf '%s\n' "$table" | grep -qw GetUserDefaultUILanguage || {
    echo "GetUserDefaultUILanguage is not imported"
    exit 1
}
for call in GetUserDefaultLCID GetUserDefaultLangID GetUserDefaultLocaleName GetThreadLocale \
    GetThreadUILanguage GetSystemDefaultLCID GetSystemDefaultLangID GetSystemDefaultUILanguage \
    GetLocaleInfoA GetLocaleInfoW GetLocaleInfoEx; do
    if printf '%s\n' "$table" | grep -qw "$call"; then
        echo "$call is imported: the language must come from the user's UI language"
        exit 1
    fi
done
echo "imports: $dlls; language from GetUserDefaultUILanguage only"
