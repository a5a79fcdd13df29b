// The one exception type of the socket layer. It carries the message exactly as the layer
// builds it; socket handlers that have an OnError handler receive the same text there instead.
#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

class ESocketException : public std::runtime_error {
public:
    explicit ESocketException(const std::string& message)
        : std::runtime_error(message)
    {}
};

}  // namespace corvane
