// Who the Windows backend trusts: the account running the program, the
// administrators and the system. Links on an operator's path are followed
// only when such an account made them, and the directories that hold a
// taken file are shut to everyone else.
#pragma once

#include <windows.h>

#include <vector>

namespace qv::win32 {

// True when the object of the open handle `h` (opened with READ_CONTROL) is
// owned by a trusted account.
bool owned_by_trusted(HANDLE h);

// True when the directory of the open handle `dir` (opened with
// READ_CONTROL) is owned by a trusted account and no other account may add,
// remove or rename its entries or change who may: whatever lies in it was put
// there by a trusted account.
bool only_trusted_may_change(HANDLE dir);

// A security descriptor that lets only the running account in, for the
// directories that hold a taken file.
class PrivateSecurity {
 public:
  PrivateSecurity();
  PrivateSecurity(const PrivateSecurity&) = delete;
  PrivateSecurity& operator=(const PrivateSecurity&) = delete;
  // Null when the descriptor could not be built (the caller then refuses).
  PSECURITY_DESCRIPTOR get() { return ok_ ? &sd_ : nullptr; }

 private:
  SECURITY_DESCRIPTOR sd_{};
  std::vector<unsigned char> acl_;
  bool ok_ = false;
};

}  // namespace qv::win32
