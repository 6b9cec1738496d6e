#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace zw {

// A path in a folder of this test process's own: ctest runs test processes
// side by side, and fixed names in the shared temporary folder would let
// one test read another's file.
inline std::string TempPath(const std::string& name)
{
    const std::filesystem::path folder =
        std::filesystem::path(testing::TempDir()) / ("zw-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    return (folder / name).string();
}

} // namespace zw
