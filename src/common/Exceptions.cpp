#include "Exceptions.h"

#include "TextLines.h"

#include <cstring>

namespace zw {
namespace {

std::string InOutMessage(TFileAccess access, const std::string& fileName, const std::string& reason)
{
    return (access == TFileAccess::Read ? "Cannot read \"" : "Cannot write \"") + Escaped(fileName) + "\": " + reason;
}

} // namespace

EInOutError::EInOutError(TFileAccess access, const std::string& fileName, int errorNumber)
    : EInOutError(access, fileName, std::string(std::strerror(errorNumber)))
{
    FErrorNumber = errorNumber;
}

EInOutError::EInOutError(TFileAccess access, const std::string& fileName, const std::string& reason)
    : Exception(InOutMessage(access, fileName, reason)), FFileName(fileName), FReason(reason)
{
}

} // namespace zw
