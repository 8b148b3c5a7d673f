// Resource identifiers of the program. Strings and controls keep the numbers of the language
// key table, so that a language file or library can replace every text by number.
#pragma once

#define IDI_VOKICON_NAME "VOKICON"

// Version resource
#define VOK_VERSION_BINARY 6, 1, 0, 1
#define VOK_VERSION_TEXT "6.01 beta 1"

// String table (5101-5142)
// (filled in with the localized strings)
