// File associations: the archiver's three ProgIDs under HKEY_CLASSES_ROOT, the extensions that
// point at them, and the previous owner of every extension, saved before it is taken over and
// given back when it is released (integration/previous_owner.h: an owner record in the registry
// and the settings' "Setup\<ext>").
//
// Every access goes through the settings store (settings/registry.h): HKCR in the default
// registry view. Paths (the archiver "Ovenix.exe", the ShellNew data files) are taken from the
// folder of the running program. No COM needed.
#pragma once

#include "integration/integration_settings.h"

// The recovery-volume extension, under HKEY_CLASSES_ROOT (its ProgID: kRecoveryProgId).
constexpr const wchar_t* kRecoveryExtension = L".rev";
// No archive type of ours, but released when it names us (earlier versions associated it).
constexpr const wchar_t* kAceExtension = L".ace";

// Writes the three ProgIDs (type names, open commands, DefaultIcon values only where empty) and
// associates ".rev" with recovery volumes (its previous owner saved and its takeover refused like
// any other extension's), then tells the shell that associations changed. Returns false, having written nothing,
// when the very first write is refused with ERROR_ACCESS_DENIED; true otherwise (later write
// failures are ignored).
[[nodiscard]] bool RegisterProgIds();

// Associates (associate true) or releases one extension (with its dot). shellExt is the record's
// ShellExt flag; isVok / isZip tell whether the extension belongs to type 0 or type 1, which also
// carry the ShellNew entries. Before taking over an extension the archiver does not own, saves
// its previous owner, and leaves the extension to it when that cannot be saved exactly; an
// extension it already owns gets an owner record from the settings where it has none. Release
// gives an extension the archiver owns back from its owner record, else from the settings, and
// deletes both; an extension the archiver does not own is never touched on release (only its
// saved owner is forgotten, and the archiver's value under its OpenWithProgids withdrawn). Results
// of the writes are ignored.
void AssociateExtension(const wchar_t* ext, bool associate, bool shellExt, bool isVok, bool isZip);

// AssociateExtension for every extension of every archive type, in table and group order, with
// Associate[index] and ShellExt of the record. An all-zero record releases everything.
void AssociateArchiveTypes(const IntegrationSettings& settings);

// Releases ".ace" (not an archive type of ours) when its association still names one of the
// archiver's ProgIDs; leaves it alone otherwise. Setup calls it after applying the integration.
void ReleaseAceExtension();

// Releases ".rev" (the removal calls it; setup never does, since every setup associates it).
void ReleaseRecoveryExtension();

// True when HKCR\<ext> names the archiver: "Ovenix.REV" for ".rev", "Ovenix" or "Ovenix.ZIP"
// for every other extension (user locale, case ignored).
[[nodiscard]] bool ArchiverOwnsExtension(const wchar_t* ext);
