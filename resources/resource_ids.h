// Resource identifiers of the program. Strings and controls keep the numbers of the language
// key table (localization/localized_strings.cpp), so that a language file or a language library
// can replace every text by number. The same number may name a string and, in each dialog, a
// control: string IDs and control IDs live in separate spaces.
//
// This header is included by the resource scripts too: plain #defines only.
#pragma once

#define IDI_VOKICON_NAME "VOKICON"

// Version resource
#define VOK_VERSION_BINARY 6, 1, 0, 1
#define VOK_VERSION_TEXT "6.01 beta 1"

// Dialog resource names (loaded by name from the resource module). A dialog named "RTL" in a
// language library marks a right-to-left language; the program itself has none.
#define DLG_SETUP_NAME L"SETUPDLG"
#define DLG_SETUPCONTEXTITEMS_NAME L"SETUPCONTEXTITEMS"
#define DLG_DONE_NAME L"DONEDLG"
#define DLG_RTL_MARKER_NAME L"RTL"

// ---- String table (5101-5150) ----
#define IDS_UNINSTTITLE 5101
#define IDS_OVENIXHELP 5102
#define IDS_VOKHELP 5103
#define IDS_WHATSNEW 5104
#define IDS_WHATSNEWNAME 5105
#define IDS_UNINSTALLVOK 5106
#define IDS_UNINSTALLCOMPLETED 5107
#define IDS_UNINSTALLSHOULDDELETE 5108
#define IDS_CONTINUEUNINSTALL 5109
#define IDS_CANNOTOPENLIST 5110
#define IDS_OVENIXARC 5111
#define IDS_OVENIXZIPARC 5112
#define IDS_VOKRECVOL 5113
#define IDS_HOMEURL 5114
#define IDS_OVENIXDESC 5115
#define IDS_REBOOTREQUIRED 5116
#define IDS_INSTHELP1 5120
#define IDS_INSTHELP2 5121
#define IDS_INSTHELP3 5122
#define IDS_INSTHELP4 5123
#define IDS_INSTHELP5 5124
#define IDS_INSTHELP6 5125
#define IDS_WARN32BIT 5130
#define IDS_INSTREBOOTREQUIRED 5135
#define IDS_BETA 5140
#define IDS_32BIT 5141
#define IDS_64BIT 5142
#define IDS_DEFAULTAPPSCOUNT 5143
#define IDS_DEFAULTAPPSQUESTION 5144
#define IDS_DEFAULTPROGRAMSQUESTION 5145
#define IDS_INTEGRATIONELSEWHERE 5150

// ---- Dialog "SETUPDLG" (IDOK 1 and IDHELP 9 come from the SDK) ----
#define IDC_ASSOCVOK 5101
#define IDC_ASSOCZIP 5102
#define IDC_ASSOCCAB 5103
#define IDC_ASSOCARJ 5104
#define IDC_ASSOCLZH 5105
#define IDC_ASSOC7Z 5106
#define IDC_ASSOCTAR 5107
#define IDC_ASSOCGZ 5108
#define IDC_ASSOCUUE 5109
#define IDC_ASSOCBZ2 5110
#define IDC_ASSOCJAR 5111
#define IDC_ASSOCISO 5112
#define IDC_ASSOCXZ 5113
#define IDC_ASSOCZ 5114
#define IDC_ASSOCLZ 5115
#define IDC_ASSOCZIPX 5116
#define IDC_ASSOC001 5117
#define IDC_LINKDESKTOP 5118
#define IDC_LINKSTARTMENU 5119
#define IDC_LINKPROGRAMS 5120
#define IDC_SHELLEXT 5121
#define IDC_SHELLCASCADED 5122
#define IDC_SHELLICONS 5123
#define IDC_ASSOCALL 5124
#define IDC_SETCONTEXTMENU 5126
#define IDC_ASSOCWITH 5127
#define IDC_INTEGRATIONINTERFACE 5128
#define IDC_SHELLINTEGRATION 5130
// Not in the language key table: the explanatory rich-edit box, filled at run time from the
// strings IDS_INSTHELP1 to IDS_INSTHELP6.
#define IDC_INSTHELPTEXT 5125

// ---- Dialog "SETUPCONTEXTITEMS" (IDOK 1, IDCANCEL 2, IDHELP 9 from the SDK) ----
#define IDC_CONTEXTEXTRACTTO 101
#define IDC_CONTEXTEXTRACTHERE 102
#define IDC_CONTEXTEXTRACT 103
#define IDC_CONTEXTEXTRACTSEPARATE 104
#define IDC_CONTEXTOPENSFX 105
#define IDC_CONTEXTOPENARC 106
#define IDC_CONTEXTADD 107
#define IDC_CONTEXTADDARC 108
#define IDC_CONTEXTEMAILARC 109
#define IDC_CONTEXTEMAILARCOPT 110
#define IDC_CONTEXTTEST 111
#define IDC_CONTEXTCONVERT 112
#define IDC_CONTEXTNEWMENU 113
#define IDC_CONTEXTNEWVOK 114
#define IDC_CONTEXTNEWZIP 115
#define IDC_CONTEXTDRAGADD 116
#define IDC_CONTEXTDRAGEXTRACT 117
#define IDC_CONTEXTSFXLOCAL 118
#define IDC_CONTEXTSFXNETWORK 119
#define IDC_CONTEXTSFXOTHER 120
#define IDC_CONTEXTMENUITEMS 122
#define IDC_CONTEXTDROPMENU 123
#define IDC_CONTEXTSFXARCHIVES 124
#define IDC_CONTEXTALWAYSARCTITLE 125
// Not in the language key table: the edit box that holds the "AlwaysArc" masks.
#define IDC_CONTEXTALWAYSARC 121

// ---- Dialog "DONEDLG" (IDOK 1 from the SDK) ----
#define IDC_INSTINFOFOLDER 5101
#define IDC_INSTINFOOPTIONS 5103
#define IDC_INSTINFOHELP 5104
#define IDC_VIEWHELP 5105
#define IDC_VIEWLICENSE 5106
#define IDC_HOMEPAGE 5108
#define IDC_THANKS 5109
// Not in the language key table: the box that shows the installation folder.
#define IDC_INSTFOLDER 5102
