#pragma once

#include <string>

// Where the program finds the files it reads and puts the files it writes.
// An installed program sits in <prefix>/bin with its data in
// <prefix>/share/zwirbels, and usually may not write to either.
namespace zw {

// The data file `name` (e.g. "RuleHelp.txt"): beside the program, else in
// ../share/zwirbels/ next to the program folder. When neither exists, the one
// beside the program, so a message names the first place looked at.
std::string DataFileName(const std::string& name);

// The folder for files the program writes (settings, rule trace), ending with
// '/': ProgramPath() when that folder can be written and the program is not
// installed (its data beside it, not in ../share/zwirbels), else
// UserConfigFolder(). Decided once per program folder, so a file is read back
// from where it was written.
const std::string& WriteFolder();

// WriteFolder() followed by `name`, with the folder made when missing. A
// folder that cannot be made shows as the error of the write that follows.
std::string WritableFileName(const std::string& name);

// The user's configuration folder for this program, ending with '/':
// $XDG_CONFIG_HOME/zwirbels/, else ~/.config/zwirbels/; ProgramPath() when
// neither variable holds an absolute path.
std::string UserConfigFolder();

} // namespace zw
