// Association round trips against the real registry in a private tree: take extensions over from
// their previous owners, give them back, and compare the whole of HKEY_CLASSES_ROOT with the
// state before. Runs from an installation-like copy (associations_installation_test.cpp).
#include "integration/associations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "associations_installation.h"
#include "integration/integration_settings.h"
#include "integration/previous_owner.h"
#include "integration/shell_new.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "settings/registry_test_seam.h"
#include "support/private_registry.h"
#include "support/registry_snapshot.h"

namespace {

const wchar_t kOtherProgId[] = L"OtherArc.Document";
const wchar_t kOtherTemplate[] = L"C:\\Program Files\\OtherArc\\empty archive.dat";
const std::wstring kMenuItems = L"Software\\Ovenix\\Setup\\MenuItems";

std::wstring StateKey(const std::wstring& ext) { return L"Software\\Ovenix\\Setup\\" + ext; }
std::wstring ShellNewKey(const std::wstring& ext) { return ext + L"\\ShellNew"; }

const IntegrationSettings kEverything = Record(true, true);
const IntegrationSettings kNothing = Record(false, false);

std::vector<std::wstring> Classes() { return SnapshotRegistry(HKEY_CLASSES_ROOT, L""); }

// What a release leaves that was not there before: an extension key that had no default value
// keeps an empty one.
std::vector<std::wstring> WithReleaseTraces(std::vector<std::wstring> lines,
                                            const std::vector<std::wstring>& keysWithoutDefault) {
  for (const std::wstring& key : keysWithoutDefault) lines.push_back(L"\\" + key + L" : @ = SZ:");
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::wstring Difference(const std::vector<std::wstring>& expected, const std::vector<std::wstring>& actual) {
  return L"missing:\n" + JoinLines(LinesAdded(actual, expected)) + L"\nunexpected:\n" +
         JoinLines(LinesAdded(expected, actual));
}

class Associations : public InstallationRegistryTest {};

// ---- The matrix of previous owners -------------------------------------------------------------

struct PreviousOwner {
  const char* label;
  bool hasKey;
  const wchar_t* defaultValue;  // nullptr: none
  bool otherValues;
  const wchar_t* shellNewFileName;  // nullptr: none
  bool shellNewNullFile;
  // Saved state expected after the takeover.
  DWORD savedExist;
  const wchar_t* savedType;
  const wchar_t* savedShellNew;
};

const PreviousOwner kPreviousOwners[] = {
    {"no key at all", false, nullptr, false, nullptr, false, 0, L"", L""},
    {"other values, no default", true, nullptr, true, nullptr, false, 1, L"", L""},
    {"another program's ProgID", true, kOtherProgId, true, nullptr, false, 1, kOtherProgId, L""},
    {"ShellNew with FileName", true, kOtherProgId, false, kOtherTemplate, false, 1, kOtherProgId, kOtherTemplate},
    {"ShellNew with only NullFile", true, kOtherProgId, false, nullptr, true, 1, kOtherProgId, L"*"},
    {"ShellNew but no default", true, nullptr, false, kOtherTemplate, false, 1, L"", kOtherTemplate},
};

void Seed(const std::wstring& ext, const PreviousOwner& owner) {
  if (!owner.hasKey) return;
  ASSERT_TRUE(CreateRegKey(HKEY_CLASSES_ROOT, ext));
  if (owner.defaultValue) {
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, ext, L"", owner.defaultValue));
  }
  if (owner.otherValues) {
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, ext, L"Content Type", L"application/x-other"));
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, ext, L"PerceivedType", L"compressed"));
  }
  if (owner.shellNewFileName) {
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, ShellNewKey(ext), L"FileName", owner.shellNewFileName));
  }
  if (owner.shellNewNullFile) {
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, ShellNewKey(ext), L"NullFile", L""));
  }
}

TEST_F(Associations, EveryPreviousOwnerGetsItsExtensionBack) {
  const struct {
    const wchar_t* ext;
    const wchar_t* progId;
    const wchar_t* dataFile;
  } targets[] = {{L".zip", L"Ovenix.ZIP", L"zipnew.dat"}, {L".vok", L"Ovenix", L"voknew.dat"}};

  for (const auto& target : targets) {
    for (const PreviousOwner& owner : kPreviousOwners) {
      SCOPED_TRACE(std::wstring(target.ext) + L", previous owner: " + std::wstring(owner.label, owner.label + strlen(owner.label)));
      FreshRegistry();
      Seed(target.ext, owner);
      if (HasFatalFailure()) return;
      const std::vector<std::wstring> before = Classes();

      AssociateArchiveTypes(kEverything);
      EXPECT_EQ(target.progId, RegString(HKEY_CLASSES_ROOT, target.ext, L""));
      EXPECT_EQ(InstallationFile(target.dataFile), RegString(HKEY_CLASSES_ROOT, ShellNewKey(target.ext), L"FileName"));
      EXPECT_EQ(owner.savedExist, RegDword(HKEY_CURRENT_USER, StateKey(target.ext), L"Exist"));
      EXPECT_EQ(owner.savedType, RegString(HKEY_CURRENT_USER, StateKey(target.ext), L"Type"));
      EXPECT_EQ(owner.savedShellNew, RegString(HKEY_CURRENT_USER, StateKey(target.ext), L"ShellNew"));

      AssociateArchiveTypes(kNothing);
      std::vector<std::wstring> keysWithoutDefault;
      if (owner.hasKey && owner.defaultValue == nullptr) keysWithoutDefault.push_back(target.ext);
      const std::vector<std::wstring> expected = WithReleaseTraces(before, keysWithoutDefault);
      const std::vector<std::wstring> after = Classes();
      EXPECT_EQ(expected, after) << Difference(expected, after).c_str();
    }
  }
}

TEST_F(Associations, AllSeventeenTypesGoBackToTheirOwnersAndTheArchiversKeysGo) {
  // Other programs' associations spread over the table; every other extension has no key.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"CompressedFolder"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"C:\\windows\\zip.zip"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\OpenWithProgids", L"CompressedFolder", L""));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", L"CABFolder"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".7z", L"Content Type", L"application/x-7z"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".iso", L"", L"Burner.Image"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".iso\\ShellNew", L"NullFile", L""));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".tgz", L"", L"Tar.Gzip"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".jar", L"", L"jarfile"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".tbz\\ShellNew", L"FileName", L"C:\\x.tbz"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".v05", L"", L"Volume.Other"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L"jarfile\\shell\\open\\command", L"", L"java -jar \"%1\""));
  ASSERT_TRUE(CreateRegKey(HKEY_CLASSES_ROOT, L".cab\\OpenWithProgids"));  // empty, and not ours
  const std::vector<std::wstring> before = Classes();

  AssociateArchiveTypes(kEverything);
  // Offered in "Open with" beside whatever else is there; volume keys are not.
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\OpenWithProgids", L"Ovenix.ZIP"));
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, L".tbz\\OpenWithProgids", L"Ovenix"));
  const std::vector<std::wstring> offered = Classes();
  EXPECT_NE(offered.end(), std::find(offered.begin(), offered.end(), L"\\.cab\\OpenWithProgids : Ovenix = TYPE0:"))
      << "not REG_NONE without data";
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".v00\\OpenWithProgids"));

  for (const ArchiveType& type : ArchiveTypes) {
    const wchar_t* cursor = type.extensionGroup;
    wchar_t ext[kExtensionCapacity];
    while (NextGroupExtension(&cursor, ext, kExtensionCapacity)) {
      EXPECT_EQ(type.index == kZipTypeIndex ? L"Ovenix.ZIP" : L"Ovenix", RegString(HKEY_CLASSES_ROOT, ext, L""))
          << "extension " << std::wstring(ext).c_str();
    }
  }
  EXPECT_EQ(L"Volume.Other", RegString(HKEY_CLASSES_ROOT, L".v05", L"")) << "another program's volume key taken";
  // A later setup that drops a type takes its values away again.
  IntegrationSettings withoutGz = kEverything;
  withoutGz.Associate[8] = 0;
  AssociateArchiveTypes(withoutGz);
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".gz\\OpenWithProgids"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".tgz\\OpenWithProgids", L"Ovenix"));

  AssociateArchiveTypes(kNothing);
  // ".7z" had no default value: it keeps an empty one. The volume keys the archiver claimed go.
  const std::vector<std::wstring> expected = WithReleaseTraces(before, {L".7z", L".tbz"});
  const std::vector<std::wstring> after = Classes();
  EXPECT_EQ(expected, after) << Difference(expected, after).c_str();
}

// ---- Saved state ---------------------------------------------------------------------------------

TEST_F(Associations, SetupTwiceWithTheSameRecordChangesNothing) {
  Seed(L".zip", kPreviousOwners[3]);
  Seed(L".gz", kPreviousOwners[2]);
  AssociateArchiveTypes(kEverything);
  const std::vector<std::wstring> state = SnapshotRegistry(HKEY_CURRENT_USER, L"Software\\Ovenix");
  const std::vector<std::wstring> classes = Classes();
  ASSERT_FALSE(state.empty());

  AssociateArchiveTypes(kEverything);
  EXPECT_EQ(state, SnapshotRegistry(HKEY_CURRENT_USER, L"Software\\Ovenix"));
  EXPECT_EQ(classes, Classes());
  EXPECT_EQ(kOtherProgId, RegString(HKEY_CURRENT_USER, StateKey(L".zip"), L"Type"));
  EXPECT_EQ(kOtherTemplate, RegString(HKEY_CURRENT_USER, StateKey(L".zip"), L"ShellNew"));
}

TEST_F(Associations, AProgramThatTookAnExtensionOverAfterSetupIsLeftAlone) {
  Seed(L".zip", kPreviousOwners[3]);
  Seed(L".cab", kPreviousOwners[2]);
  AssociateArchiveTypes(kEverything);
  // A third program claims both afterwards, ".zip" with a ShellNew entry of its own.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"Third.Zip"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"C:\\third.zip"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", L"Third.Cab"));
  // Only the archiver's own "Open with" offer goes (with the key it made).
  const auto withoutOffer = [](std::vector<std::wstring> lines) {
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::wstring& l) { return l.find(L"\\OpenWithProgids") != std::wstring::npos; }),
                lines.end());
    return lines;
  };
  const std::vector<std::wstring> zipBefore = withoutOffer(SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip"));
  const std::vector<std::wstring> cabBefore = withoutOffer(SnapshotRegistry(HKEY_CLASSES_ROOT, L".cab"));

  AssociateArchiveTypes(kNothing);
  EXPECT_EQ(zipBefore, SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip"));
  EXPECT_EQ(cabBefore, SnapshotRegistry(HKEY_CLASSES_ROOT, L".cab"));
}

TEST_F(Associations, ASavedTypeNamingTheArchiverItselfIsTreatedAsEmpty) {
  const struct {
    const wchar_t* savedType;
    const wchar_t* restored;
  } cases[] = {
      {L"ovenix.zip", L""}, {L"OVENIX", L""}, {L"Ovenix.ZIP", L""},
      {L"Ovenix.REV", L"Ovenix.REV"}, {L"CompressedFolder", L"CompressedFolder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.savedType);
    FreshRegistry();
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"Ovenix.ZIP"));
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, StateKey(L".zip"), L"Exist", 1));
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, StateKey(L".zip"), L"Type", c.savedType));
    AssociateExtension(L".zip", false, false, false, true);
    EXPECT_EQ(c.restored, RegString(HKEY_CLASSES_ROOT, L".zip", L""));
  }
}

TEST_F(Associations, MissingSavedStateReadsAsExistedWithoutType) {
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", L"Ovenix"));
  AssociateExtension(L".cab", false, true, false, false);
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L".cab"));
  EXPECT_EQ(L"", RegString(HKEY_CLASSES_ROOT, L".cab", L""));
}

TEST_F(Associations, AnExtensionTheArchiverDoesNotOwnIsNeverTouchedOnRelease) {
  Seed(L".zip", kPreviousOwners[4]);
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, StateKey(L".zip"), L"Exist", 0));  // stale state
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".rev", L"", L"Ovenix.REV"));
  const std::vector<std::wstring> before = Classes();
  AssociateArchiveTypes(kNothing);
  EXPECT_EQ(before, Classes()) << Difference(before, Classes()).c_str();
}

// ---- Owner records -------------------------------------------------------------------------------

// The record sits in the hive whose classes hold the extension's key (Wine's HKEY_CLASSES_ROOT does
// not show a per-user class key over the machine's, so the choice is checked here, not end to end).
TEST_F(Associations, OwnerRecordsFollowTheClassKeyAndWinOverTheSettings) {
  const std::wstring userRecord = L"Software\\Ovenix\\Owners\\.7z";
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".7z", L"", L"Other.7z"));
  ASSERT_TRUE(CreateRegKey(HKEY_CURRENT_USER, L"Software\\Classes\\.7z"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", L"Other.Cab"));
  AssociateArchiveTypes(kEverything);
  EXPECT_EQ(L"Other.7z", RegString(HKEY_CURRENT_USER, userRecord, L"Type"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, userRecord));
  EXPECT_EQ(L"Other.Cab", RegString(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Owners\\.cab", L"Type"));
  EXPECT_EQ(1u, RegDword(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Owners\\.cab", L"Exist"));

  // Removing the machine's settings spares the record of an extension the archiver still owns.
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Capabilities", L"ApplicationDescription", L"x"));
  DeleteProgramSettings(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(L"Other.Cab", RegString(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Owners\\.cab", L"Type"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Capabilities"));

  // Another account's later setup saved a newer owner in the record: it wins over the settings.
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Owners\\.cab", L"Type", L"Newer.Cab"));
  AssociateArchiveTypes(kNothing);
  EXPECT_EQ(L"Newer.Cab", RegString(HKEY_CLASSES_ROOT, L".cab", L""));
  EXPECT_EQ(L"Other.7z", RegString(HKEY_CLASSES_ROOT, L".7z", L""));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Ovenix")) << "records of given-back extensions go";
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Ovenix\\Owners"));
  EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, StateKey(L".cab"), L"Type"));

  // An upgrade from a version that saved owners in the settings only: setup writes the record.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".gz", L"", L"Ovenix"));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, StateKey(L".gz"), L"Exist", 1));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, StateKey(L".gz"), L"Type", L"Old.Gz"));
  AssociateArchiveTypes(kEverything);
  EXPECT_EQ(L"Old.Gz", RegString(HKEY_LOCAL_MACHINE, L"Software\\Ovenix\\Owners\\.gz", L"Type"));
}

// ---- Volume keys of the vok type --------------------------------------------------------------

TEST_F(Associations, VolumeKeysAreClaimedOnlyWhereFreeAndReleasedOnlyWhileStillTheArchivers) {
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".vok", L"", L"Vok.Old"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".v05", L"", L"Volume.Other"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".v10", L"Content Type", L"application/x-volume"));  // no default
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".v20", L"", L"OVENIX"));  // from an earlier setup
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".v77", L"", L"Other77"));

  AssociateExtension(L".vok", true, false, true, false);
  for (const wchar_t* volume : {L".v00", L".v10", L".v20", L".v29"})
    EXPECT_EQ(L"Ovenix", RegString(HKEY_CLASSES_ROOT, volume, L"")) << std::wstring(volume).c_str();
  EXPECT_EQ(L"Volume.Other", RegString(HKEY_CLASSES_ROOT, L".v05", L""));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".v30"));
  // A program that claims a volume key after setup keeps it.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".v15", L"", L"Later.Owner"));

  AssociateExtension(L".vok", false, false, true, false);
  EXPECT_EQ(L"Vok.Old", RegString(HKEY_CLASSES_ROOT, L".vok", L""));
  for (const wchar_t* volume : {L".v00", L".v20", L".v29"})
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, volume)) << std::wstring(volume).c_str();
  EXPECT_EQ(L"Volume.Other", RegString(HKEY_CLASSES_ROOT, L".v05", L""));
  EXPECT_EQ(L"Later.Owner", RegString(HKEY_CLASSES_ROOT, L".v15", L""));
  EXPECT_EQ(L"Other77", RegString(HKEY_CLASSES_ROOT, L".v77", L""));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".v10", L""));
  EXPECT_EQ(L"application/x-volume", RegString(HKEY_CLASSES_ROOT, L".v10", L"Content Type"));
}

// ---- ".ace" ---------------------------------------------------------------------------------------

TEST_F(Associations, AceIsReleasedOnlyWhileItNamesAnArchiverProgId) {
  const struct {
    const wchar_t* current;  // nullptr: no key
    const wchar_t* savedType;  // nullptr: no saved state
    const wchar_t* after;      // nullptr: no key
  } cases[] = {
      {L"Ovenix", nullptr, L""},
      {L"OVENIX.ZIP", nullptr, L""},
      {L"Ovenix", L"WinAce.Archive", L"WinAce.Archive"},
      {L"WinAce.Archive", L"Old.Ace", L"WinAce.Archive"},
      {L"Ovenix.REV", nullptr, L"Ovenix.REV"},
      {nullptr, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.current ? c.current : L"<no key>");
    FreshRegistry();
    if (c.current) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".ace", L"", c.current));
    }
    if (c.savedType) {
      ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, StateKey(L".ace"), L"Exist", 1));
      ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, StateKey(L".ace"), L"Type", c.savedType));
    }
    ReleaseAceExtension();
    if (c.after) {
      EXPECT_EQ(c.after, RegString(HKEY_CLASSES_ROOT, L".ace", L""));
    } else {
      EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".ace"));
    }
  }
}

// ---- ProgIDs ----------------------------------------------------------------------------------

TEST_F(Associations, ProgIdsPointAtTheArchiverBesideTheProgram) {
  const std::wstring archiver = InstallationFile(L"Ovenix.exe");
  const std::wstring command = L"\"" + archiver + L"\" \"%1\"";
  ASSERT_NE(std::wstring::npos, archiver.find(L' ')) << "the folder name should need quoting: " << archiver.c_str();
  // A DefaultIcon chosen by a theme or the user stays.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L"Ovenix.ZIP\\DefaultIcon", L"", L"C:\\theme.ico,3"));

  ASSERT_TRUE(RegisterProgIds());
  const struct {
    const wchar_t* key;
    std::wstring value;
  } rows[] = {
      {L"Ovenix", LocalizedString(IDS_OVENIXARC)},
      {L"Ovenix\\shell\\open\\command", command},
      {L"Ovenix\\DefaultIcon", archiver + L",0"},
      {L"Ovenix.ZIP", LocalizedString(IDS_OVENIXZIPARC)},
      {L"Ovenix.ZIP\\shell\\open\\command", command},
      {L"Ovenix.ZIP\\DefaultIcon", L"C:\\theme.ico,3"},
      {L".rev", L"Ovenix.REV"},
      {L"Ovenix.REV", LocalizedString(IDS_VOKRECVOL)},
      {L"Ovenix.REV\\shell\\open\\command", command},
      {L"Ovenix.REV\\DefaultIcon", archiver + L",1"},
  };
  for (const auto& row : rows) {
    EXPECT_FALSE(row.value.empty()) << std::wstring(row.key).c_str();
    EXPECT_EQ(row.value, RegString(HKEY_CLASSES_ROOT, row.key, L"")) << std::wstring(row.key).c_str();
  }

  // Again, after the user changed the archive icon: it is kept, the rest is as before.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L"Ovenix\\DefaultIcon", L"", L"C:\\mine.ico"));
  const std::vector<std::wstring> first = Classes();
  ASSERT_TRUE(RegisterProgIds());
  EXPECT_EQ(first, Classes());
}

TEST_F(Associations, ProgIdsWriteNothingWhenTheFirstWriteIsRefused) {
  {
    RegistryWriteFailures refuse(1);
    EXPECT_FALSE(RegisterProgIds());
    EXPECT_EQ(0u, refuse.Remaining()) << "the first write was not attempted";
  }
  EXPECT_EQ(std::vector<std::wstring>{L""}, Classes()) << JoinLines(Classes()).c_str();
}

TEST_F(Associations, OnlyAccessDeniedStopsTheProgIds) {
  {
    RegistryWriteFailures refuse(1, ERROR_WRITE_FAULT);
    EXPECT_TRUE(RegisterProgIds());
  }
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L"Ovenix", L""));
  EXPECT_EQ(L"Ovenix.REV", RegString(HKEY_CLASSES_ROOT, L".rev", L""));
  EXPECT_NE(L"<missing>", RegString(HKEY_CLASSES_ROOT, L"Ovenix\\shell\\open\\command", L""));
}

TEST_F(Associations, ReleasingEverythingLeavesTheRecoveryExtensionAlone) {
  ASSERT_TRUE(RegisterProgIds());
  AssociateArchiveTypes(kEverything);
  AssociateArchiveTypes(kNothing);
  EXPECT_EQ(L"Ovenix.REV", RegString(HKEY_CLASSES_ROOT, L".rev", L""));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"Ovenix.REV\\shell\\open\\command"));
}

}  // namespace
