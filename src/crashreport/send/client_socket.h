#pragma once

#include <stdexcept>
#include <string>

namespace cv {

// Base of every error of the report's own network code.
class ECrashboxWinSockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every failure of a client socket, of the SMTP layer and of the MX lookup;
// the message carries the conversation's log.
class ECrashboxSocketError : public ECrashboxWinSockError {
public:
    using ECrashboxWinSockError::ECrashboxWinSockError;
};

// A socket function the system does not provide.
class ECrashboxFuncNotFoundError : public ECrashboxSocketError {
public:
    using ECrashboxSocketError::ECrashboxSocketError;
};

} // namespace cv
