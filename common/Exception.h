#pragma once
// Exception classes of the game. Every error the game raises derives from
// Exception and carries a readable message; the application-wide handler
// catches them once per tick and per event.
#include <stdexcept>
#include <string>

namespace varnok {

class Exception : public std::runtime_error {
public:
    // Notes the address of the code that raises the error (the instruction
    // after the call that builds this object), for the debug log.
    explicit Exception(const std::string& message);
    std::string Message() const { return what(); }
    const void* Address() const { return address_; }

private:
    const void* address_;
};

// The constructor of an error class: always built inline, also in unoptimised
// builds, so that the address the base notes lies in the code raising the error.
#define VARNOK_ERROR_CONSTRUCTOR(Name, Base)                                                                   \
    __attribute__((always_inline)) explicit Name(const std::string& message) : Base(message) {}

// A text that should be a number is not one.
class EConvertError : public Exception {
public:
    VARNOK_ERROR_CONSTRUCTOR(EConvertError, Exception)
};

// Index out of the range of a list.
class EListError : public Exception {
public:
    VARNOK_ERROR_CONSTRUCTOR(EListError, Exception)
};

// A stream or file has the wrong layout.
class EStreamError : public Exception {
public:
    VARNOK_ERROR_CONSTRUCTOR(EStreamError, Exception)
};

// A file cannot be opened, read or written.
class EFileError : public Exception {
public:
    VARNOK_ERROR_CONSTRUCTOR(EFileError, Exception)
};

// A file cannot be saved for a reason of the system (a read-only disk, no
// permission, no space left); SystemError is the system's error number.
class ESaveError : public EFileError {
  public:
    __attribute__((always_inline)) ESaveError(const std::string& message, int systemError)
        : EFileError(message), SystemError(systemError) {}
    int SystemError;
};

// A picture's data cannot be decoded.
class EInvalidGraphic : public Exception {
public:
    VARNOK_ERROR_CONSTRUCTOR(EInvalidGraphic, Exception)
};

// Fatal data error: shown in a message box, then the program ends.
class EFatalDataError : public Exception {
public:
    VARNOK_ERROR_CONSTRUCTOR(EFatalDataError, Exception)
};

} // namespace varnok
