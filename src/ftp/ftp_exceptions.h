// The exception types of the FTP engine. Both carry their message exactly as raised; command
// handlers that let one escape have it answered as "501 " followed by that message.
#pragma once

#include <stdexcept>
#include <string>

#include "net/socket_exception.h"

namespace corvane {

// Raised by the server component (TFtpServer): misuse of its operations, accept failures.
class FtpServerException : public std::runtime_error {
public:
    explicit FtpServerException(const std::string& message)
        : std::runtime_error(message)
    {}
};

// Raised by a control connection (TFtpCtrlSocket); it is a socket-layer error as well.
class EFtpCtrlSocketException : public ESocketException {
public:
    explicit EFtpCtrlSocketException(const std::string& message)
        : ESocketException(message)
    {}
};

}  // namespace corvane
