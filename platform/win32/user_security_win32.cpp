#include "platform/win32/user_security.h"

// After windows.h: they rely on its types.
#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace tandrel::win32 {
namespace {

// The TOKEN_USER of the process; empty when the system does not tell.
std::vector<std::uint8_t> ProcessTokenUser() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const OwnedHandle owned(token);
  DWORD size = 0;
  ::GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
  std::vector<std::uint8_t> user(size);
  if (size == 0 || !::GetTokenInformation(token, ::TokenUser, user.data(), size, &size)) return {};
  return user;
}

}  // namespace

std::string UserSidText() {
  std::vector<std::uint8_t> user = ProcessTokenUser();
  if (user.empty()) return {};
  char* text = nullptr;
  if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) return {};
  std::string sid(text);
  ::LocalFree(text);
  return sid;
}

OwnedSecurityDescriptor UserOnlySecurity(std::string_view access, bool to_children) {
  const std::string sid = UserSidText();
  if (sid.empty()) return {};
  // Protected, so that nothing is inherited from the container either.
  const std::string sddl = "O:" + sid + "D:P(A;" + (to_children ? "OICI" : "") + ";" +
                           std::string(access) + ";;;" + sid + ")";
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &made,
                                                             nullptr)) {
    return {};
  }
  return OwnedSecurityDescriptor(made);
}

bool OwnedByUser(HANDLE handle) {
  std::vector<std::uint8_t> user = ProcessTokenUser();
  if (user.empty()) return false;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(handle, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const OwnedSecurityDescriptor held(descriptor);
  return owner != nullptr && ::EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

}  // namespace tandrel::win32
