// The entry point of the project's programs lives in the platform layer
// (wmain on Windows, main on POSIX, in the upd_program_entry library): it
// hands the command line over as UTF-16 arguments to the function that each
// program defines. Argument 0 is the program's path as the system gives it.
#pragma once

#include <string>
#include <vector>

int programMain(const std::vector<std::u16string>& args);
