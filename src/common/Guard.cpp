#include "common/Guard.h"

#include <cstdio>

namespace zw {
namespace {

IErrorReporter*& InstalledReporter()
{
    static IErrorReporter* reporter = nullptr;
    return reporter;
}

} // namespace

void SetErrorReporter(IErrorReporter* reporter) { InstalledReporter() = reporter; }

void ReportError(const char* message) noexcept
{
    try {
        if (IErrorReporter* reporter = InstalledReporter())
            reporter->ReportError(message);
        else
            std::fprintf(stderr, "%s\n", message);
    } catch (...) {
    }
}

} // namespace zw
