#include "platform/win32/win32_security.h"

#include <aclapi.h>

namespace qv::win32 {

namespace {

using SidBytes = std::vector<unsigned char>;

SidBytes well_known(WELL_KNOWN_SID_TYPE type) {
  SidBytes sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

SidBytes running_account() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::vector<unsigned char> buffer(256);
  DWORD size = 0;
  bool ok = GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                                &size) != 0;
  CloseHandle(token);
  if (!ok) return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  auto* bytes = static_cast<unsigned char*>(sid);
  return SidBytes(bytes, bytes + GetLengthSid(sid));
}

// The running account first, then the administrators and the system.
const std::vector<SidBytes>& trusted_accounts() {
  static const std::vector<SidBytes> sids = {
      running_account(), well_known(WinBuiltinAdministratorsSid), well_known(WinLocalSystemSid)};
  return sids;
}

bool is_trusted(PSID sid) {
  if (sid == nullptr || !IsValidSid(sid)) return false;
  for (const SidBytes& t : trusted_accounts())
    if (!t.empty() && EqualSid(sid, const_cast<unsigned char*>(t.data()))) return true;
  return false;
}

// Owner and access list of an open handle; the descriptor is freed with it.
struct Security {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ~Security() {
    if (sd != nullptr) LocalFree(sd);
  }
};

bool read_security(HANDLE h, SECURITY_INFORMATION what, Security& out) {
  return GetSecurityInfo(h, SE_FILE_OBJECT, what, &out.owner, nullptr, &out.dacl, nullptr,
                         &out.sd) == ERROR_SUCCESS;
}

// Rights that let an account change what a directory holds or who may.
constexpr ACCESS_MASK kChangeRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                      DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;

// True when the ACE gives an untrusted account a right to change the
// directory. Unknown kinds of granting entries count as untrusted.
bool grants_change_to_untrusted(const ACE_HEADER* ace) {
  if (ace->AceFlags & INHERIT_ONLY_ACE) return false;  // applies below only
  if (ace->AceType == ACCESS_DENIED_ACE_TYPE) return false;
  if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
  const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
  if ((allowed->Mask & kChangeRights) == 0) return false;
  return !is_trusted(const_cast<DWORD*>(&allowed->SidStart));
}

}  // namespace

bool owned_by_trusted(HANDLE h) {
  Security s;
  return read_security(h, OWNER_SECURITY_INFORMATION, s) && is_trusted(s.owner);
}

bool only_trusted_may_change(HANDLE dir) {
  Security s;
  if (!read_security(dir, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, s)) return false;
  if (!is_trusted(s.owner) || s.dacl == nullptr) return false;  // no list: everyone may
  for (DWORD i = 0; i < s.dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(s.dacl, i, &ace)) return false;
    if (grants_change_to_untrusted(static_cast<const ACE_HEADER*>(ace))) return false;
  }
  return true;
}

PrivateSecurity::PrivateSecurity() {
  const SidBytes& me = trusted_accounts().front();
  if (me.empty()) return;
  PSID sid = const_cast<unsigned char*>(me.data());
  acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + me.size());
  auto* acl = reinterpret_cast<PACL>(acl_.data());
  ok_ = InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
        AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                              FILE_ALL_ACCESS, sid) &&
        InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&sd_, TRUE, acl, FALSE) &&
        SetSecurityDescriptorControl(&sd_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

}  // namespace qv::win32
