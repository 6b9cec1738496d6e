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

// A failed file operation; the message is the platform's text for errno.
class EInOutError : public Exception {
public:
    explicit EInOutError(int errorNumber);
    explicit EInOutError(std::string message) : Exception(std::move(message)) {}
};

} // namespace zw
