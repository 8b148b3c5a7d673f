// The archiver's shortcuts: the desktop and start-menu "Ovenix.lnk" and the program group
// "Ovenix" under the programs folder (the user's and all users').
//
// COM must be initialised on the calling thread (OleInitialize or CoInitialize) before
// UpdateShortcuts or CreateShellLink runs: shortcuts are written through the shell-link object.
#pragma once

#include <cstddef>

struct IntegrationSettings;

// Text a special-folder lookup yields when the folder cannot be obtained, so that every path
// built from it leads nowhere.
constexpr const wchar_t kUnknownFolder[] = L"unknown_folder";

// Creates, refreshes or removes the shortcuts as settings.Desktop, StartMenu and Programs ask.
// With Programs set, both program groups are emptied of their files (subfolders stay) and rebuilt
// with a shortcut for each target that exists in the program folder; groupFolder (if not null)
// receives the path of the group made last (all users' when it could be made), cut to
// groupFolderCapacity. A group folder that is a junction or symbolic link is neither emptied nor
// filled nor reported. A translated shortcut name (strings 5102 to 5104) or target file name (5105)
// that is not a plain name (empty, ".", or holding "\", "/", ":" or "..") gives way to the
// program's own text, so every shortcut stays in its group and every target in the program folder. Without Programs, both group folders are deleted with their content
// (never through a reparse point) and groupFolder is left unchanged. When system integration is
// switched off in the settings store, nothing is touched and groupFolder is left unchanged.
// iconLocation (may be null) becomes the icon of the desktop, start-menu and main group shortcut.
void UpdateShortcuts(const IntegrationSettings& settings, wchar_t* groupFolder, size_t groupFolderCapacity,
                     const wchar_t* iconLocation);

// Creates or updates the shortcut file shortcutPath pointing at target. An existing shortcut keeps
// the properties not given here. workingDirectory, description and iconLocation may be null
// (no icon location means an empty one). Returns true when the shortcut file was saved.
bool CreateShellLink(const wchar_t* target, const wchar_t* shortcutPath, const wchar_t* workingDirectory,
                     const wchar_t* description, const wchar_t* iconLocation);

// The current path of a special folder (CSIDL), never creating it. On failure, or for a capacity
// below MAX_PATH, returns false with kUnknownFolder in the buffer (cut to the capacity).
bool GetSpecialFolder(wchar_t* buffer, size_t capacity, int csidl);

// Deletes the folder with all its content, permanently and silently. Does nothing when the path
// is not a folder or is a reparse point (a junction or symbolic link is never followed).
void RemoveFolderTree(const wchar_t* folder);
