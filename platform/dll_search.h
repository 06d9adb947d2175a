// DLL search hardening for a process that runs with administrator rights from
// a directory whose other files it does not control.
#pragma once

#include <string>

namespace platform {

// Restricts the loading of DLLs to the system directory
// (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)), so that a DLL
// planted beside the executable or in the working directory is never loaded.
// Where the system lacks that call it at least takes the working directory
// out of the search (SetDllDirectoryW("")). Returns true when the full
// restriction is in force. POSIX: the dynamic loader never searches the
// executable's directory (no $ORIGIN run path is set), so there is nothing to
// restrict and the result is true.
bool restrictDllSearch();

// LoadLibraryW + FreeLibrary: whether a library of this name would load now
// under the process's search rules. POSIX: always false.
bool canLoadLibrary(const std::u16string& name);

}  // namespace platform
