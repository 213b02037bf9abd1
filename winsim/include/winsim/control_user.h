// winsim test control for the simulated user's rights: a standard user (the default,
// restored by Reset), whose HKEY_LOCAL_MACHINE is read-only, or an administrator.
#pragma once

namespace winsim {

// As a standard user, opening or creating an HKEY_LOCAL_MACHINE key with any write right
// (KEY_SET_VALUE, KEY_CREATE_SUB_KEY, DELETE, KEY_ALL_ACCESS, ...) fails with
// ERROR_ACCESS_DENIED, and so do writes through the hive's root; reading still works.
void SetAdministrator(bool administrator);
bool IsAdministrator();

// An administrator for its lifetime, for set-up that plays the installer while the
// program under test runs as a standard user.
class AsAdministrator {
 public:
  AsAdministrator() : m_wasAdministrator(IsAdministrator()) { SetAdministrator(true); }
  ~AsAdministrator() { SetAdministrator(m_wasAdministrator); }
  AsAdministrator(const AsAdministrator&) = delete;
  AsAdministrator& operator=(const AsAdministrator&) = delete;

 private:
  bool m_wasAdministrator;
};

}  // namespace winsim
