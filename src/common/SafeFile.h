#pragma once

#include <cstddef>
#include <string>

// Saving without risk to the previous file: the text goes to a temporary file
// in the same folder, which then replaces the target in one rename.
namespace zw {

// Writes `contents` to `fileName`; raises EInOutError with the platform's text
// on failure, leaving any previous file untouched.
void WriteFileAtomically(const std::string& fileName, const std::string& contents);

// Reads a whole file; raises EInOutError when it cannot be read.
std::string ReadWholeFile(const std::string& fileName);

// Reads like ReadWholeFile but stops once more than `limit` bytes are in, so a
// huge or endless file (a device) is never read into memory: a result longer
// than `limit` means the file is larger.
std::string ReadFileUpTo(const std::string& fileName, std::size_t limit);

} // namespace zw
