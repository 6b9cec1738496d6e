#include "FileNotes.h"

#include "TextLines.h"

namespace zw {

std::string FileNotesMessage(std::string_view fileName, const TFileNotes& notes)
{
    // A box of a thousand lines shows none of them.
    constexpr std::size_t kShown = 10;
    std::string message = "The file \"" + Escaped(fileName) + "\" is not what it claims:";
    for (std::size_t i = 0; i < notes.size() && i < kShown; ++i)
        message += Format("\nline %zu: ", notes[i].Line) + notes[i].Text;
    if (notes.size() > kShown)
        message += Format("\n(and %zu more)", notes.size() - kShown);
    return message;
}

} // namespace zw
