// The prefix's list of renames and deletions to run at the next restart (MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT records them in HKLM\...\Session Manager, value
// PendingFileRenameOperations, as pairs of "\??\"-prefixed paths; an empty target means "delete").
#pragma once

#include <string>
#include <vector>

// The paths scheduled for deletion at the next restart, without their "\??\" prefix, in order.
std::vector<std::wstring> PendingRestartDeletions();

// Saves the value's raw data on construction and puts it back (or removes the value again) on
// destruction, so a test that schedules deletions leaves the prefix as it found it.
class PendingRenamesGuard {
 public:
  PendingRenamesGuard();
  ~PendingRenamesGuard();
  PendingRenamesGuard(const PendingRenamesGuard&) = delete;
  PendingRenamesGuard& operator=(const PendingRenamesGuard&) = delete;

  // The deletions scheduled since construction.
  std::vector<std::wstring> Added() const;

 private:
  bool existed_ = false;
  std::vector<unsigned char> saved_;
  std::vector<std::wstring> before_;
};
