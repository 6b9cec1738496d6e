#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Saving without risk to the previous file: the text goes to a temporary file
// in the same folder, which then replaces the target in one rename. Every
// error raised here is an EInOutError naming the file.
namespace zw {

// Writes `contents` to `fileName`, leaving any previous file untouched on
// failure and no temporary file behind. A symbolic link is followed: the file
// it ends at is replaced, and the link stays a link.
void WriteFileAtomically(const std::string& fileName, const std::string& contents);

// Removes what writes to `fileName` left behind when the program was killed
// during them: the temporary files of WriteFileAtomically beside it (its own
// name pattern only, regular files of this user). Failures are ignored.
void RemoveLeftoverTemporaries(const std::string& fileName);

// Reads a regular file whole. Anything else (a folder, a device, a pipe) is
// refused without waiting on it, and so is a file larger than `limit` bytes.
std::string ReadRegularFile(const std::string& fileName, std::size_t limit = SIZE_MAX);

// Reads a whole regular file without a size limit.
std::string ReadWholeFile(const std::string& fileName);

// Makes a write past the file-size limit (`ulimit -f`) fail like any other
// write instead of ending the program. Called once at program start.
void IgnoreFileSizeSignal();

} // namespace zw
