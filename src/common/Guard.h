#pragma once

#include <exception>
#include <string>
#include <utility>

namespace zw {

// Where the failures of guarded actions are reported. The program installs the
// error box of its dialogs; without one installed they go to standard error.
class IErrorReporter {
public:
    virtual ~IErrorReporter() = default;
    virtual void ReportError(const std::string& message) = 0;
};

// Installs `reporter` (not owned); nullptr goes back to standard error.
void SetErrorReporter(IErrorReporter* reporter);
// Hands `message` to the installed reporter; a reporter that fails is ignored.
void ReportError(const char* message) noexcept;

// Reports the message of whatever `action` throws and goes on; every user
// action, timer tick and dispatch runs through here. Returns false when the
// action failed.
template <typename F>
bool RunGuarded(F&& action) noexcept
{
    try {
        std::forward<F>(action)();
        return true;
    } catch (const std::exception& e) {
        ReportError(e.what());
    } catch (...) {
        ReportError("Unknown error");
    }
    return false;
}

} // namespace zw
