// Putting the whole shell integration in place and taking it away again: App Paths, shell
// extension and capabilities, file associations with their ShellNew entries, ProgIDs, shortcuts
// and, on removal, the archiver's keys.
//
// COM must be initialised on the calling thread (the shortcuts are written through the shell-link
// object). When the settings store has system integration switched off (INI file with
// Global\Integration=0), neither operation touches the registry outside the program's settings or
// any shortcut.
#pragma once

#include <cstddef>

struct IntegrationSettings;

// Applies the record, and last logs what Windows opens each chosen extension with
// (CheckWhatOpensChosenExtensions). groupFolder (may be null) receives the program group folder
// when one is made (cut to groupFolderCapacity) and is left unchanged otherwise. Returns false when
// it stopped early because HKEY_LOCAL_MACHINE refused the first App Paths write (then nothing was
// written) or the first ProgID write (what came before stays, no shortcut is touched, nothing is
// checked); true otherwise.
bool ApplyIntegration(const IntegrationSettings& settings, wchar_t* groupFolder, size_t groupFolderCapacity);

// Removes every piece of integration: gives associations back to their previous owners, then
// deletes the shell extension registration, the default-apps registration (capabilities and
// HKCR\Applications\Ovenix.exe), HKLM\Software\Ovenix, the shortcuts and program
// groups, the ProgIDs, HKCU\Software\Ovenix and, unless RunOptions.MsiMode, the App Paths key
// (both registry views). The uninstall entry stays (DeleteUninstallEntry).
void RemoveIntegration();
