#!/bin/sh
# What the built launcher imports: system DLLs only (the compiler's runtime is
# linked in), and the user's UI language, never the regional format's or the
# system's language. Windows keeps the two apart (an English UI with German
# formats must get English boxes); Wine derives both from one locale setting,
# so no run under it can tell the calls apart.   usage: check-imports.sh EXE OBJDUMP
table=$("$2" -p "$1") || exit 1
dlls=$(printf '%s\n' "$table" | awk '/DLL Name:/ { print tolower($3) }' | sort | tr '\n' ' ')
[ "$dlls" = "kernel32.dll msvcrt.dll user32.dll " ] || { echo "imports from: $dlls"; exit 1; }
printf '%s\n' "$table" | grep -qw GetUserDefaultUILanguage || { echo "no UI-language call"; exit 1; }
if printf '%s\n' "$table" | grep -E '\<Get(UserDefault(LCID|LangID|LocaleName)|Thread(Locale|UILanguage)|SystemDefault[A-Za-z]*|LocaleInfo[AWEx]*)\>'; then
    echo "the language must come from the user's UI language alone"
    exit 1
fi
echo "imports: $dlls; the language from GetUserDefaultUILanguage alone"
