// The language key table and its key-ID index: plain data and byte comparisons, no dependency
// on the loaded language, so the language table and the translators' tools can use them alone.
#include "localization/localized_strings.h"

#include "resources/resource_ids.h"

// The order of this table is part of the language-file contract: the template file for
// translators lists the keys in it, and dialogs are localized walking it top to bottom.
const LanguageKey LanguageKeyTable[LanguageKeyCount] = {
    {IDS_UNINSTTITLE, "s:IDS_UNINSTTITLE"},
    {IDS_OVENIXHELP, "s:IDS_OVENIXHELP"},
    {IDS_VOKHELP, "s:IDS_VOKHELP"},
    {IDS_WHATSNEW, "s:IDS_WHATSNEW"},
    {IDS_WHATSNEWNAME, "s:IDS_WHATSNEWNAME"},
    {IDS_UNINSTALLVOK, "s:IDS_UNINSTALLVOK"},
    {IDS_UNINSTALLCOMPLETED, "s:IDS_UNINSTALLCOMPLETED"},
    {IDS_UNINSTALLSHOULDDELETE, "s:IDS_UNINSTALLSHOULDDELETE"},
    {IDS_CONTINUEUNINSTALL, "s:IDS_CONTINUEUNINSTALL"},
    {IDS_CANNOTOPENLIST, "s:IDS_CANNOTOPENLIST"},
    {IDS_OVENIXARC, "s:IDS_OVENIXARC"},
    {IDS_OVENIXZIPARC, "s:IDS_OVENIXZIPARC"},
    {IDS_VOKRECVOL, "s:IDS_VOKRECVOL"},
    {IDS_HOMEURL, "s:IDS_HOMEURL"},
    {IDS_OVENIXDESC, "s:IDS_OVENIXDESC"},
    {IDS_REBOOTREQUIRED, "s:IDS_REBOOTREQUIRED"},
    {IDS_INSTHELP1, "s:IDS_INSTHELP1"},
    {IDS_INSTHELP2, "s:IDS_INSTHELP2"},
    {IDS_INSTHELP3, "s:IDS_INSTHELP3"},
    {IDS_INSTHELP4, "s:IDS_INSTHELP4"},
    {IDS_INSTHELP5, "s:IDS_INSTHELP5"},
    {IDS_INSTHELP6, "s:IDS_INSTHELP6"},
    {IDS_WARN32BIT, "s:IDS_WARN32BIT"},
    {IDS_INSTREBOOTREQUIRED, "s:IDS_INSTREBOOTREQUIRED"},
    {IDS_BETA, "s:IDS_BETA"},
    {IDS_32BIT, "s:IDS_32BIT"},
    {IDS_64BIT, "s:IDS_64BIT"},
    {IDS_DEFAULTAPPSCOUNT, "s:IDS_DEFAULTAPPSCOUNT"},
    {IDS_DEFAULTAPPSQUESTION, "s:IDS_DEFAULTAPPSQUESTION"},
    {IDS_DEFAULTPROGRAMSQUESTION, "s:IDS_DEFAULTPROGRAMSQUESTION"},
    {IDS_INTEGRATIONELSEWHERE, "s:IDS_INTEGRATIONELSEWHERE"},

    {IDC_ASSOCWITH, "$SETUPDLG:IDC_ASSOCWITH"},
    {IDC_ASSOCVOK, "$SETUPDLG:IDC_ASSOCVOK"},
    {IDC_ASSOCZIP, "$SETUPDLG:IDC_ASSOCZIP"},
    {IDC_ASSOC7Z, "$SETUPDLG:IDC_ASSOC7Z"},
    {IDC_ASSOCARJ, "$SETUPDLG:IDC_ASSOCARJ"},
    {IDC_ASSOCBZ2, "$SETUPDLG:IDC_ASSOCBZ2"},
    {IDC_ASSOCCAB, "$SETUPDLG:IDC_ASSOCCAB"},
    {IDC_ASSOCGZ, "$SETUPDLG:IDC_ASSOCGZ"},
    {IDC_ASSOCISO, "$SETUPDLG:IDC_ASSOCISO"},
    {IDC_ASSOCJAR, "$SETUPDLG:IDC_ASSOCJAR"},
    {IDC_ASSOCLZ, "$SETUPDLG:IDC_ASSOCLZ"},
    {IDC_ASSOCLZH, "$SETUPDLG:IDC_ASSOCLZH"},
    {IDC_ASSOCTAR, "$SETUPDLG:IDC_ASSOCTAR"},
    {IDC_ASSOCUUE, "$SETUPDLG:IDC_ASSOCUUE"},
    {IDC_ASSOCXZ, "$SETUPDLG:IDC_ASSOCXZ"},
    {IDC_ASSOCZ, "$SETUPDLG:IDC_ASSOCZ"},
    {IDC_ASSOCZIPX, "$SETUPDLG:IDC_ASSOCZIPX"},
    {IDC_ASSOC001, "$SETUPDLG:IDC_ASSOC001"},
    {IDC_ASSOCALL, "$SETUPDLG:IDC_ASSOCALL"},
    {IDC_INTEGRATIONINTERFACE, "$SETUPDLG:IDC_INTEGRATIONINTERFACE"},
    {IDC_LINKDESKTOP, "$SETUPDLG:IDC_LINKDESKTOP"},
    {IDC_LINKSTARTMENU, "$SETUPDLG:IDC_LINKSTARTMENU"},
    {IDC_LINKPROGRAMS, "$SETUPDLG:IDC_LINKPROGRAMS"},
    {IDC_SHELLEXT, "$SETUPDLG:IDC_SHELLEXT"},
    {IDC_SHELLINTEGRATION, "$SETUPDLG:IDC_SHELLINTEGRATION"},
    {IDC_SHELLCASCADED, "$SETUPDLG:IDC_SHELLCASCADED"},
    {IDC_SHELLICONS, "$SETUPDLG:IDC_SHELLICONS"},
    {IDC_SETCONTEXTMENU, "$SETUPDLG:IDC_SETCONTEXTMENU"},
    {IDOK, "$SETUPDLG:IDOK"},
    {IDHELP, "$SETUPDLG:IDHELP"},

    {IDOK, "$DONEDLG:IDOK"},
    {IDC_INSTINFOFOLDER, "$DONEDLG:IDC_INSTINFOFOLDER"},
    {IDC_INSTINFOOPTIONS, "$DONEDLG:IDC_INSTINFOOPTIONS"},
    {IDC_INSTINFOHELP, "$DONEDLG:IDC_INSTINFOHELP"},
    {IDC_VIEWHELP, "$DONEDLG:IDC_VIEWHELP"},
    {IDC_VIEWLICENSE, "$DONEDLG:IDC_VIEWLICENSE"},
    {IDC_HOMEPAGE, "$DONEDLG:IDC_HOMEPAGE"},
    {IDC_THANKS, "$DONEDLG:IDC_THANKS"},

    {IDC_CONTEXTMENUITEMS, "$SETUPCONTEXTITEMS:IDC_CONTEXTMENUITEMS"},
    {IDC_CONTEXTEXTRACTTO, "$SETUPCONTEXTITEMS:IDC_CONTEXTEXTRACTTO"},
    {IDC_CONTEXTEXTRACTHERE, "$SETUPCONTEXTITEMS:IDC_CONTEXTEXTRACTHERE"},
    {IDC_CONTEXTEXTRACT, "$SETUPCONTEXTITEMS:IDC_CONTEXTEXTRACT"},
    {IDC_CONTEXTEXTRACTSEPARATE, "$SETUPCONTEXTITEMS:IDC_CONTEXTEXTRACTSEPARATE"},
    {IDC_CONTEXTOPENSFX, "$SETUPCONTEXTITEMS:IDC_CONTEXTOPENSFX"},
    {IDC_CONTEXTOPENARC, "$SETUPCONTEXTITEMS:IDC_CONTEXTOPENARC"},
    {IDC_CONTEXTADD, "$SETUPCONTEXTITEMS:IDC_CONTEXTADD"},
    {IDC_CONTEXTADDARC, "$SETUPCONTEXTITEMS:IDC_CONTEXTADDARC"},
    {IDC_CONTEXTEMAILARC, "$SETUPCONTEXTITEMS:IDC_CONTEXTEMAILARC"},
    {IDC_CONTEXTEMAILARCOPT, "$SETUPCONTEXTITEMS:IDC_CONTEXTEMAILARCOPT"},
    {IDC_CONTEXTTEST, "$SETUPCONTEXTITEMS:IDC_CONTEXTTEST"},
    {IDC_CONTEXTCONVERT, "$SETUPCONTEXTITEMS:IDC_CONTEXTCONVERT"},
    {IDC_CONTEXTNEWMENU, "$SETUPCONTEXTITEMS:IDC_CONTEXTNEWMENU"},
    {IDC_CONTEXTNEWVOK, "$SETUPCONTEXTITEMS:IDC_CONTEXTNEWVOK"},
    {IDC_CONTEXTNEWZIP, "$SETUPCONTEXTITEMS:IDC_CONTEXTNEWZIP"},
    {IDC_CONTEXTDROPMENU, "$SETUPCONTEXTITEMS:IDC_CONTEXTDROPMENU"},
    {IDC_CONTEXTDRAGADD, "$SETUPCONTEXTITEMS:IDC_CONTEXTDRAGADD"},
    {IDC_CONTEXTDRAGEXTRACT, "$SETUPCONTEXTITEMS:IDC_CONTEXTDRAGEXTRACT"},
    {IDC_CONTEXTSFXARCHIVES, "$SETUPCONTEXTITEMS:IDC_CONTEXTSFXARCHIVES"},
    {IDC_CONTEXTSFXLOCAL, "$SETUPCONTEXTITEMS:IDC_CONTEXTSFXLOCAL"},
    {IDC_CONTEXTSFXNETWORK, "$SETUPCONTEXTITEMS:IDC_CONTEXTSFXNETWORK"},
    {IDC_CONTEXTSFXOTHER, "$SETUPCONTEXTITEMS:IDC_CONTEXTSFXOTHER"},
    {IDC_CONTEXTALWAYSARCTITLE, "$SETUPCONTEXTITEMS:IDC_CONTEXTALWAYSARCTITLE"},
    {IDOK, "$SETUPCONTEXTITEMS:IDOK"},
    {IDCANCEL, "$SETUPCONTEXTITEMS:IDCANCEL"},
    {IDHELP, "$SETUPCONTEXTITEMS:IDHELP"},
};

namespace {

// Compares the prefix of a key name (its text before the first colon, or all of it) with a bare
// prefix, byte-wise as unsigned bytes. Negative, zero or positive like strcmp.
int ComparePrefix(const char* name, const char* prefix) {
  for (;; ++name, ++prefix) {
    const unsigned char n = (*name == ':') ? 0 : static_cast<unsigned char>(*name);
    const unsigned char p = static_cast<unsigned char>(*prefix);
    if (n != p) return n < p ? -1 : 1;
    if (n == 0) return 0;
  }
}

// The name's prefix compared with another name's prefix.
int ComparePrefixes(const char* first, const char* second) {
  for (;; ++first, ++second) {
    const unsigned char a = (*first == ':') ? 0 : static_cast<unsigned char>(*first);
    const unsigned char b = (*second == ':') ? 0 : static_cast<unsigned char>(*second);
    if (a != b) return a < b ? -1 : 1;
    if (a == 0) return 0;
  }
}

}  // namespace

bool KeyIdIndexLess(uint64_t firstPosition, uint64_t secondPosition) {
  const LanguageKey& first = LanguageKeyTable[firstPosition];
  const LanguageKey& second = LanguageKeyTable[secondPosition];
  const int byPrefix = ComparePrefixes(first.name, second.name);
  if (byPrefix != 0) return byPrefix < 0;
  return first.id < second.id;
}

void BuildKeyIdIndex(uint64_t* positions) {
  // Insertion sort: 95 constant rows, done once per run.
  for (size_t i = 0; i < LanguageKeyCount; ++i) {
    size_t j = i;
    while (j > 0 && KeyIdIndexLess(i, positions[j - 1])) {
      positions[j] = positions[j - 1];
      --j;
    }
    positions[j] = i;
  }
}

size_t SearchKeyIdIndex(const uint64_t* positions, size_t count, const char* prefix, uint32_t id) {
  size_t low = 0;
  size_t high = count;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const uint64_t position = positions[middle];
    if (position >= LanguageKeyCount) return LanguageKeyCount;  // not an index of this table
    const LanguageKey& key = LanguageKeyTable[position];
    int order = ComparePrefix(key.name, prefix);
    if (order == 0) order = (key.id < id) ? -1 : (key.id > id ? 1 : 0);
    if (order == 0) return static_cast<size_t>(position);
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return LanguageKeyCount;
}
