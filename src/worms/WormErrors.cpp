#include "worms/WormErrors.h"

#include <QtGlobal>

#include <exception>

namespace zw {

namespace {

TWormErrorHandler& ErrorHandler()
{
    static TWormErrorHandler handler;
    return handler;
}

void Report(const std::string& message)
{
    if (ErrorHandler())
        ErrorHandler()(message);
    else
        qWarning("%s", message.c_str());
}

} // namespace

void SetWormErrorHandler(TWormErrorHandler handler)
{
    ErrorHandler() = std::move(handler);
}

void RunWormGuarded(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        Report(e.what());
    } catch (...) {
        Report("Unknown error");
    }
}

} // namespace zw
