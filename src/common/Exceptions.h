#pragma once

#include <exception>
#include <string>

namespace zw {

// Base of every failure the program reports: it carries the text shown to the user.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

private:
    std::string FMessage;
};

// A value outside its range (index, byte, count).
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
};

class EIntOverflow : public Exception {
public:
    EIntOverflow() : Exception("Integer overflow") {}
};

class EZeroDivide : public Exception {
public:
    EZeroDivide() : Exception("Division by zero") {}
};

// A failed file operation. The message always names the file, e.g.
// `Cannot write "/home/me/bank.gen": No space left on device`.
enum class TFileAccess { Read, Write };

class EInOutError : public Exception {
public:
    // The reason is the platform's text for `errorNumber`.
    EInOutError(TFileAccess access, const std::string& fileName, int errorNumber);
    // A refusal of our own (a device, a file too large); ErrorNumber is 0.
    EInOutError(TFileAccess access, const std::string& fileName, const std::string& reason);

    const std::string& FileName() const noexcept { return FFileName; }
    const std::string& Reason() const noexcept { return FReason; }
    int ErrorNumber() const noexcept { return FErrorNumber; }

private:
    std::string FFileName;
    std::string FReason;
    int FErrorNumber = 0;
};

} // namespace zw
