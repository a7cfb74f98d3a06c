// The program's exceptions: one base, each carrying the text the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace quorix {

class EQuorixError : public std::runtime_error {
public:
    explicit EQuorixError(const std::string& message) : std::runtime_error(message) {}
};

// A picture that cannot be decoded, encoded or converted.
class EInvalidGraphic : public EQuorixError {
public:
    using EQuorixError::EQuorixError;
};

// A picture that cannot be assigned to a graphic of another class.
class EConvertError : public EQuorixError {
public:
    using EQuorixError::EQuorixError;
};

// A file that cannot be opened, read, created or written.
class EFileError : public EQuorixError {
public:
    using EQuorixError::EQuorixError;
};

// A broken precondition; the text names the source file and line.
class EAssertionFailed : public EQuorixError {
public:
    using EQuorixError::EQuorixError;
};

// Arithmetic that would produce an infinity or a NaN on a machine with the
// floating-point exceptions unmasked.
class EMathError : public EQuorixError {
public:
    using EQuorixError::EQuorixError;
};

class EZeroDivide : public EMathError {
public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
};

class EInvalidOp : public EMathError {
public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
};

class EOverflow : public EMathError {
public:
    EOverflow() : EMathError("Floating point overflow") {}
};

class EIntOverflow : public EMathError {
public:
    EIntOverflow() : EMathError("Integer overflow") {}
};

[[noreturn]] void RaiseAssertion(const char* text, const char* file, int line);

}  // namespace quorix

// Raises EAssertionFailed with "<text> (<file>, line <n>)" when the condition is false.
#define QUORIX_ASSERT_MSG(cond, text) \
    do { if (!(cond)) ::quorix::RaiseAssertion((text), __FILE__, __LINE__); } while (0)
#define QUORIX_ASSERT(cond) QUORIX_ASSERT_MSG(cond, "Assertion failure")
