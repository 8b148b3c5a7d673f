// The post-setup hand-over against the real file system: an installer folder with or without
// "ovenix.ini", a data folder named through the (private) registry, "sfxname" in the environment.
#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <string>

#include "app/handover.h"
#include "support/private_registry.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"

namespace {

// Sets or removes (nullptr) an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[4096];
    const DWORD length = GetEnvironmentVariableW(name, old, 4096);
    had_ = length > 0 && length < 4096;
    if (had_) old_ = old;
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::wstring name_, old_;
  bool had_ = false;
};

struct HandOverCase {
  const char* name;
  bool setVariable;        // "sfxname" present at all
  bool emptyVariable;      // present but empty
  bool sourceHasFile;      // the installer's folder holds the file
  bool destinationExists;  // the data folder already holds one
  bool expectedResult;
  const char* expectedDestination;  // content afterwards; nullptr: no file
};
void PrintTo(const HandOverCase& c, std::ostream* os) { *os << c.name; }

class HandOverTest : public ::testing::TestWithParam<HandOverCase> {
 protected:
  PrivateRegistry registry_;
  TempFolder installer_{L"installer"};
  TempFolder data_{L"data folder \x00E9"};
};

TEST_P(HandOverTest, CopiesOnlyAMissingFileFromTheInstallersFolder) {
  const HandOverCase& c = GetParam();
  // The archiver's data folder is the one the registry names, since it exists.
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\Paths", L"AppData", data_.path()));
  if (c.sourceHasFile) {
    ASSERT_TRUE(WriteFileBytes(installer_.Join(L"ovenix.ini"), "from the installer"));
  }
  if (c.destinationExists) {
    ASSERT_TRUE(WriteFileBytes(data_.Join(L"ovenix.ini"), "the user's own"));
  }
  const std::wstring archive = installer_.Join(L"ovenix-setup.exe");
  ScopedVariable variable(L"sfxname", c.setVariable ? (c.emptyVariable ? L"" : archive.c_str()) : nullptr);
  if (c.emptyVariable) {
    // An empty value cannot be set through SetEnvironmentVariableW on every system; check what we have.
    wchar_t probe[8] = L"x";
    GetEnvironmentVariableW(L"sfxname", probe, 8);
    ASSERT_EQ(L'\0', probe[0]);
  }

  EXPECT_EQ(c.expectedResult, HandOverFile(L"ovenix.ini"));

  const std::wstring destination = data_.Join(L"ovenix.ini");
  if (c.expectedDestination) {
    EXPECT_EQ(c.expectedDestination, ReadFileBytes(destination));
  } else {
    EXPECT_FALSE(FileExists(destination)) << "a file appeared in the data folder";
  }
  if (c.sourceHasFile) {
    EXPECT_EQ("from the installer", ReadFileBytes(installer_.Join(L"ovenix.ini")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandOverTest,
    ::testing::Values(
        HandOverCase{"NormalCopy", true, false, true, false, true, "from the installer"},
        HandOverCase{"NoSfxName", false, false, true, false, true, nullptr},
        HandOverCase{"EmptySfxName", true, true, true, false, true, nullptr},
        HandOverCase{"DestinationExistsIsNeverOverwritten", true, false, true, true, true, "the user's own"},
        HandOverCase{"DestinationExistsWithoutSource", true, false, false, true, true, "the user's own"},
        HandOverCase{"MissingSource", true, false, false, false, false, nullptr}),
    [](const ::testing::TestParamInfo<HandOverCase>& info) { return info.param.name; });

TEST(RunPostSetupHandOver, HandsOverTheSettingsFile) {
  PrivateRegistry registry;
  TempFolder installer(L"installer"), data(L"data");
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\Paths", L"AppData", data.path()));
  ASSERT_TRUE(WriteFileBytes(installer.Join(L"ovenix.ini"), "[settings]"));
  ASSERT_TRUE(WriteFileBytes(installer.Join(L"other.ini"), "not handed over"));
  ScopedVariable variable(L"sfxname", installer.Join(L"setup.exe").c_str());
  RunPostSetupHandOver();
  EXPECT_EQ("[settings]", ReadFileBytes(data.Join(L"ovenix.ini")));
  EXPECT_FALSE(FileExists(data.Join(L"other.ini")));
}

}  // namespace
