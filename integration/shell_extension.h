// Registration of the archiver's two in-process shell extension libraries (COM class, handler
// keys, approval), and the hook that registers its default-apps entries (integration/default_apps.h).
//
// Every registry access goes through the settings store (settings/registry.h): when an INI file
// has switched system integration off, nothing here touches the registry. Keys are used in the
// default registry view except the class keys of the 32-bit library, which live in the 32-bit view
// (KEY_WOW64_32KEY). Results of writes and deletions are not reported: a key that cannot be
// written or deleted (for instance one that still has subkeys) is passed over.
#pragma once

struct IntegrationSettings;

// The two libraries, registered in this order (the 64-bit one last, so it owns the DropHandlers).
struct ShellExtensionLibrary {
  const wchar_t* fileName;     // in the folder of the running program
  const wchar_t* clsid;        // braces included
  const wchar_t* handlerName;  // name of the handler keys under *, Folder, Drive, lnkfile
  bool use32BitView;           // class keys in the 32-bit registry view
};
extern const ShellExtensionLibrary kShellExtensionLibraries[2];

// registerDll true: writes the class keys (only when the library file exists beside the running
// program, in the library's view) and the handler and approval keys (always).
// registerDll false: deletes the class keys (default view, and the 32-bit view as well for a
// 32-bit library, so no class is left pointing at a deleted file), every handler key including the
// two "Directory" ones, and the approval value. The store's registry view is 0 again on return.
void RegisterExtensionDll(bool registerDll, const wchar_t* libraryName, const wchar_t* clsid,
                          const wchar_t* handlerName, bool use32BitView);

// Registers both libraries when settings.ShellExt is set, otherwise unregisters them; writes (or,
// when removing, deletes) the default-apps registration (WriteDefaultAppsRegistration); when
// removing, then deletes the whole HKLM\Software\Ovenix tree of the settings store. Ends with an
// association-change notification to the shell.
void UpdateShellExtensions(bool removing, const IntegrationSettings& settings);
