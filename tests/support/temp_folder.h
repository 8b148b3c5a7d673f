// A private temporary folder for one test, deleted with everything in it when the test ends.
#pragma once

#include <string>
#include <vector>

class TempFolder {
 public:
  // Creates %TEMP%\<hint>-<pid>-<n>; the name may carry any characters a test needs
  // (blanks, non-ASCII letters, "%").
  explicit TempFolder(const std::wstring& hint = L"voktest");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return path_; }
  // path() + "\" + relative
  std::wstring Join(const std::wstring& relative) const;

 private:
  std::wstring path_;
};

// File helpers for tests (paths are full Windows paths).
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);    // a file or a folder
bool FolderExists(const std::wstring& path);
bool MakeFolders(const std::wstring& path);   // creates every missing folder of the path
// Every file and folder below folder, one full path each (a folder's ends with "\"), sorted.
// Never follows reparse points, so a link out of the tree is listed but not entered.
std::vector<std::wstring> ListFileTree(const std::wstring& folder);
// Deletes a test-owned tree; never follows reparse points. Returns false if anything stayed.
bool DeleteTreeForTest(const std::wstring& path);

// A link at `link` (not there yet) to the file or folder `target`; the object removes the link
// alone. Windows: a junction for a folder where it can, else a symbolic link. Wine 8 makes neither
// but shows a Unix symbolic link to a folder as a folder reparse point and one to a file as that
// file: there "ln -s" makes it and "rm" removes it (Wine's own deletions would act on the target),
// and a link that cannot be made fails the test. Elsewhere made() is false where links are refused.
class ScopedLink {
 public:
  ScopedLink(const std::wstring& link, const std::wstring& target, bool folder);
  ~ScopedLink();
  ScopedLink(const ScopedLink&) = delete;
  ScopedLink& operator=(const ScopedLink&) = delete;
  bool made() const { return made_; }

 private:
  std::wstring link_;
  bool folder_, made_ = false;
};
