// Where the Windows build runs under Wine instead of Windows, a few socket
// behaviours differ from Windows; the tests that meet one say so and skip
// (docs/windows.md lists them).
#pragma once

namespace pcpos::testing {

#ifdef _WIN32
// True when ntdll is Wine's (it exports wine_get_version).
bool UnderWine();
// Under Wine: the Unix descriptors the process holds (Wine's handle count is
// always 0; a socket there is a Unix descriptor). -1 when they cannot be listed.
int WineUnixDescriptors();
#else
inline bool UnderWine() { return false; }
#endif

}  // namespace pcpos::testing
