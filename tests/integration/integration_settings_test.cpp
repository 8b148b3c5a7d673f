#include "integration/integration_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/private_registry.h"
#include "support/registry_snapshot.h"

namespace {

const wchar_t kProgramKey[] = L"Software\\Ovenix";

IntegrationSettings Filled(unsigned char value) {
  IntegrationSettings settings;
  std::memset(&settings, value, sizeof settings);
  return settings;
}

std::string Describe(const IntegrationSettings& settings) {
  std::string text;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&settings);
  for (size_t i = 0; i < sizeof settings; ++i) text += static_cast<char>('0' + (bytes[i] > 9 ? 9 : bytes[i]));
  return text;  // one digit per position 0..25
}

std::vector<std::wstring> Extensions(const wchar_t* group) {
  std::vector<std::wstring> pieces;
  const wchar_t* cursor = group;
  wchar_t piece[kExtensionCapacity];
  while (NextGroupExtension(&cursor, piece, kExtensionCapacity)) pieces.push_back(piece);
  return pieces;
}

}  // namespace

// ---- Constant tables -------------------------------------------------------------------------

TEST(ArchiveTypeTable, GroupsSplitBeforeEveryDotAfterTheFirstCharacter) {
  const struct {
    const wchar_t* group;
    std::vector<std::wstring> pieces;
  } cases[] = {
      {L".bz2.tbz2.bz.tbz", {L".bz2", L".tbz2", L".bz", L".tbz"}},
      {L".uue.xxe.uu", {L".uue", L".xxe", L".uu"}},
      {L".zip", {L".zip"}},
      {L"", {}},
      {L".", {L"."}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.pieces, Extensions(c.group)) << "group " << std::wstring(c.group).c_str();
  }
}

TEST(ArchiveTypeTable, SplittingCutsAPieceToTheBuffer) {
  const wchar_t* cursor = L".abcdef.gh";
  wchar_t piece[4] = {L'#', L'#', L'#', L'#'};
  ASSERT_TRUE(NextGroupExtension(&cursor, piece, 4));
  EXPECT_STREQ(L".ab", piece);
  ASSERT_TRUE(NextGroupExtension(&cursor, piece, 4));
  EXPECT_STREQ(L".gh", piece);
  EXPECT_FALSE(NextGroupExtension(&cursor, piece, 4));
  EXPECT_STREQ(L"", piece);
}

TEST(ArchiveTypeTable, EveryGroupStartsWithItsMainExtensionAndEveryExtensionIsUnique) {
  std::vector<std::wstring> all;
  for (size_t i = 0; i < kArchiveTypeCount; ++i) {
    const ArchiveType& type = ArchiveTypes[i];
    EXPECT_EQ(static_cast<int>(i), type.index);
    const std::vector<std::wstring> pieces = Extensions(type.extensionGroup);
    ASSERT_FALSE(pieces.empty());
    EXPECT_EQ(std::wstring(type.mainExtension), pieces[0]);
    for (const std::wstring& piece : pieces) {
      EXPECT_LT(piece.size(), kExtensionCapacity);
      for (const std::wstring& seen : all) {
        EXPECT_NE(seen, piece) << "extension listed twice";
      }
      all.push_back(piece);
    }
  }
  EXPECT_EQ(27u, all.size());
  EXPECT_STREQ(L".vok", ArchiveTypes[kVokTypeIndex].mainExtension);
  EXPECT_STREQ(L".zip", ArchiveTypes[kZipTypeIndex].mainExtension);
}

TEST(ArchiveTypeTable, CheckBoxesAreTheSeventeenDialogControls) {
  std::vector<bool> used(17, false);
  for (const ArchiveType& type : ArchiveTypes) {
    ASSERT_GE(type.checkBox, 5101);
    ASSERT_LE(type.checkBox, 5117);
    EXPECT_FALSE(used[type.checkBox - 5101]) << "control " << type.checkBox << " used twice";
    used[type.checkBox - 5101] = true;
  }
}

// ---- Init selection (no registry) ------------------------------------------------------------

TEST(InitSelection, LettersAndValuesOverrideOnlyTheirFields) {
  struct Case {
    const wchar_t* text;
    const char* expected;  // Describe() of a record that started as all 5
  };
  const Case cases[] = {
      // a101d1: types 0 and 2 on, type 1 off, Desktop on; everything else keeps its value.
      {L"a101d1", "10155555555555555555155555"},
      {L"D0M1P0S1C0I1", "55555555555555555555010101"},
      {L"d1x1m1", "55555555555555555555115555"},  // an unknown letter skips its pair
      {L"d1m", "55555555555555555555155555"},     // a letter with nothing after it ends the parsing
      {L"dx", "55555555555555555555055555"},      // any value other than "1" clears
      {L"A2", "05555555555555555555555555"},      // any digit other than "1" clears
      {L"Ad1", "55555555555555555555155555"},     // no digits: "d1" is read as the next pair
      {L"A", "55555555555555555555555555"},
      {L"", "55555555555555555555555555"},
      // 25 digits: positions 0..19 from the first 20; the rest is read as the pairs "10", "10",
      // "1d" (unknown letters, skipped) and a lone "1", so the final "d1" never applies.
      {L"A1111111111000000000010101d1", "11111111110000000000555555"},
      {L"A11111111110000000000d1", "11111111110000000000155555"},
  };
  for (const Case& c : cases) {
    IntegrationSettings settings = Filled(5);
    ApplyInitSelection(c.text, settings);
    EXPECT_EQ(c.expected, Describe(settings)) << "init selection \"" << std::wstring(c.text).c_str() << "\"";
  }
}

TEST(InitSelection, NullTextChangesNothing) {
  IntegrationSettings settings = Filled(5);
  ApplyInitSelection(nullptr, settings);
  EXPECT_EQ(Describe(Filled(5)), Describe(settings));
}

// ---- Store round trips (private registry) ----------------------------------------------------

class IntegrationSettingsStore : public testing::Test {
 protected:
  PrivateRegistry registry_;
};

TEST_F(IntegrationSettingsStore, EmptyStoreGivesTheDefaults) {
  IntegrationSettings settings = Filled(7);
  LoadIntegrationSettings(settings);
  // Every type but ".jar"; spare positions keep the caller's 7; Desktop 0, StartMenu 0,
  // Programs 1, ShellExt 1, CascadedMenu 0, MenuIcons 1.
  EXPECT_EQ("11111111111011111777001101", Describe(settings));
}

TEST_F(IntegrationSettingsStore, JarAndIsoFollowTheirCurrentOwners) {
  struct Case {
    const wchar_t* jarOwner;  // nullptr: no key
    const wchar_t* isoOwner;
    unsigned char jarExpected;
    unsigned char isoExpected;
  };
  const Case cases[] = {
      {nullptr, nullptr, 0, 1},
      {L"Ovenix", L"Ovenix", 1, 1},
      {L"ovenix.zip", L"OVENIX.ZIP", 1, 1},
      {L"jarfile", L"Burner.Image", 0, 0},
      {L"", L"", 0, 1},                // a key with an empty default counts as unclaimed
      {L"Ovenix.REV", L"Ovenix.REV", 0, 0},  // the recovery ProgID is not an ownership
      // A type name longer than the 79 characters read at once is a claim all the same.
      {nullptr, L"Burner.Image.With.A.Very.Long.Name.That.Goes.On.And.On.Until.It.Is.Eighty.Chars!", 0, 0},
  };
  for (const Case& c : cases) {
    DeleteRegTree(HKEY_CLASSES_ROOT, L".jar");
    DeleteRegTree(HKEY_CLASSES_ROOT, L".iso");
    if (c.jarOwner) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".jar", L"", c.jarOwner));
    }
    if (c.isoOwner) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".iso", L"", c.isoOwner));
    }
    IntegrationSettings settings = Filled(7);
    LoadIntegrationSettings(settings);
    const std::wstring label = std::wstring(c.jarOwner ? c.jarOwner : L"<none>") + L" / " +
                               (c.isoOwner ? c.isoOwner : L"<none>");
    EXPECT_EQ(c.jarExpected, settings.Associate[11]) << ".jar, owners " << label.c_str();
    EXPECT_EQ(c.isoExpected, settings.Associate[12]) << ".iso, owners " << label.c_str();
  }
}

TEST_F(IntegrationSettingsStore, StoredJarChoiceIsOverruledUnlessOwned) {
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.jar", L"Set", 1));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.iso", L"Set", 0));
  IntegrationSettings settings = Filled(7);
  LoadIntegrationSettings(settings);
  EXPECT_EQ(0, settings.Associate[11]);
  EXPECT_EQ(0, settings.Associate[12]) << "a stored 0 stays 0 even when nobody owns .iso";

  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".jar", L"", L"Ovenix"));
  LoadIntegrationSettings(settings);
  EXPECT_EQ(1, settings.Associate[11]);
}

TEST_F(IntegrationSettingsStore, SaveThenLoadRoundTripsEveryStoredField) {
  // Owned ".jar" so that its stored choice is what comes back.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".jar", L"", L"Ovenix"));
  for (const unsigned char value : {0, 1}) {
    for (size_t flipped = 0; flipped < sizeof(IntegrationSettings); ++flipped) {
      if (flipped >= kArchiveTypeCount && flipped < kAssociateSlots) continue;  // spare, not stored
      IntegrationSettings saved = Filled(value);
      reinterpret_cast<unsigned char*>(&saved)[flipped] = value ? 0 : 1;
      SaveIntegrationSettings(saved);
      IntegrationSettings loaded = Filled(value);  // spares keep this
      LoadIntegrationSettings(loaded);
      EXPECT_EQ(Describe(saved), Describe(loaded)) << "position " << flipped << " flipped from " << int(value);
    }
  }
}

TEST_F(IntegrationSettingsStore, SaveWritesTheTwentyThreeValuesAsDwords) {
  IntegrationSettings settings = Filled(1);
  settings.Desktop = 0;
  SaveIntegrationSettings(settings);
  const std::vector<std::wstring> lines = SnapshotRegistry(HKEY_CURRENT_USER, kProgramKey);
  size_t values = 0;
  for (const std::wstring& line : lines) values += line.find(L" : ") != std::wstring::npos;
  EXPECT_EQ(23u, values) << JoinLines(lines).c_str();
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.001", L"Set"));
  EXPECT_EQ(0u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\Links", L"Desktop"));
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"MenuIcons"));
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.tgz"))
      << "only main extensions hold the choice";
}

TEST_F(IntegrationSettingsStore, InitSelectionAppliesOnTopOfLoadedValues) {
  IntegrationSettings stored = Filled(0);
  SaveIntegrationSettings(stored);
  IntegrationSettings settings = Filled(7);
  LoadIntegrationSettings(settings);
  ApplyInitSelection(L"a101d1", settings);
  EXPECT_EQ("10100000000000000777100000", Describe(settings));
}

TEST_F(IntegrationSettingsStore, OwnershipIgnoresCaseAndOnlyCountsTheTwoArchiveProgIds) {
  const struct {
    const wchar_t* value;  // nullptr: no key
    bool owned;
  } cases[] = {
      {L"Ovenix", true},       {L"OVENIX", true},         {L"Ovenix.ZIP", true}, {L"ovenix.Zip", true},
      {L"Ovenix.REV", false},  {L"Ovenix.ZIP2", false},   {L"Ovenix ", false},   {L"", false},
      {L"WinZip", false},      {nullptr, false},
  };
  for (const auto& c : cases) {
    DeleteRegTree(HKEY_CLASSES_ROOT, L".tst");
    if (c.value) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".tst", L"", c.value));
    }
    EXPECT_EQ(c.owned, IsOwnedAssociation(L".tst")) << "default value " << (c.value ? "\"" : "")
                                                     << std::wstring(c.value ? c.value : L"<no key>").c_str();
  }
  EXPECT_FALSE(IsOwnedAssociation(L""));
  EXPECT_FALSE(IsOwnedAssociation(nullptr));
}
