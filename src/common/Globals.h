#pragma once

#include <string>

// Where the program keeps its files.
namespace zw {

// The folder of the program file, with a trailing '/'. Set once at start
// (from the executable's location); tests may set it to a folder of their own.
const std::string& ProgramPath();
void SetProgramPath(std::string path);

} // namespace zw
