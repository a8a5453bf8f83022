#pragma once

#include <windows.h>

enum : size_t {
    kcchLangText = 254,   // one localized text, terminator included
    kcchLangSection = 32, // a language section's name, terminator included
};

// Copies the text for pszKey in the user's UI language from the strings file
// into pszDst (at least kcchLangText characters). The section "Language" maps
// g_tszLangID, or failing that "0x0409", to the section holding the texts; a
// key missing from that section is not looked up elsewhere. Returns FALSE, with
// pszDst untouched, when the file, the language or the text is missing or empty.
BOOL ReadLanguageString(LPCWSTR pszKey, LPWSTR pszDst);
