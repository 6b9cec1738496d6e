// Feeds arbitrary bytes to the settings reader. Nothing may crash or raise,
// and the file must not drift: reading what the program wrote gives the same
// settings, and writing them again gives the same text.
#include "app/IniFile.h"
#include "app/MainSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Reads `text` as a start does, then writes into it as a close does.
zw::TMainSettings ReadAndWrite(std::string_view text, std::string& written)
{
    zw::TIniFile ini;
    ini.LoadFromText(text);
    zw::TMainSettings settings;
    settings.Read(ini);
    settings.FileNameAssigned = true;
    // Every value came from a line of the file, so every one fits a line.
    Check(settings.Write(ini).empty());
    written = ini.SaveToText();
    // What Read reports about the file rather than takes from it is not
    // written, so it is left out of the comparison.
    settings.FirstStart = false;
    settings.Unreadable.clear();
    return settings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string first;
    std::string second;
    const zw::TMainSettings read = ReadAndWrite(text, first);
    const zw::TMainSettings reread = ReadAndWrite(first, second);
    Check(read == reread);
    Check(first == second);
    return 0;
}
