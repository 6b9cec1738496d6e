#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What a reader found a file to be other than it claims (a count with no
// number, fewer lines than it declares, an unknown flag), while it still read
// what the format allows. The caller tells the user.
namespace zw {

struct TFileNote {
    std::size_t Line = 0; // 1-based
    std::string Text;
};
using TFileNotes = std::vector<TFileNote>;

// One message for all of them: the file's name, then one note a line.
// Beyond the first ten, only how many more there are.
std::string FileNotesMessage(std::string_view fileName, const TFileNotes& notes);

} // namespace zw
