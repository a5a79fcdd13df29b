// PerSecondText: a text made from a time in whole seconds, made again only when the second
// changes. A busy server writes the same second's date into many lines and headers; the format
// (strftime, the locale's date form) then runs once a second instead of once a line.
// Owner: one thread (each user keeps its own).
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace corvane {

class PerSecondText {
public:
    using Format = std::string (*)(std::time_t when);
    using Clock = std::function<std::time_t()>;

    // `clock` gives the current second; tests give their own.
    explicit PerSecondText(
        Format format, Clock clock = [] { return std::time(nullptr); })
        : format_(format),
          clock_(std::move(clock))
    {}

    // The text of the clock's current second.
    const std::string& Now() { return Of(clock_()); }
    // The text of a given second (the last one asked is kept).
    const std::string& Of(std::time_t when)
    {
        if (!made_ || when != second_) {
            text_ = format_(when);
            second_ = when;
            made_ = true;
        }
        return text_;
    }

private:
    Format format_;
    Clock clock_;
    std::time_t second_ = 0;
    bool made_ = false;
    std::string text_;
};

}  // namespace corvane
