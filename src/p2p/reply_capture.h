// The in-memory stream a request's reply body is written into, with an upper bound: a reply
// of megabytes, or one that never ends, must not grow the server's memory without limit. Bytes
// beyond the bound are refused (the stream goes bad) and the capture says it overflowed; the
// request's owner aborts the request then and counts the reply as failed.
//
// Owner: the thread that runs the request.
#pragma once

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>

#include "common/thread_owner.h"

namespace corvane {

// Replies of the lookup service, the index servers, the account service and the network list
// file are small texts; 1 MiB leaves room for any list a network operator publishes.
inline constexpr std::size_t kMostReplyBytes = 1024 * 1024;

class ReplyCapture : public std::ostream {
public:
    explicit ReplyCapture(std::size_t mostBytes = kMostReplyBytes)
        : std::ostream(&buffer_),
          buffer_(mostBytes)
    {}
    ReplyCapture(const ReplyCapture&) = delete;
    ReplyCapture& operator=(const ReplyCapture&) = delete;

    const std::string& Text() const { return buffer_.text; }
    bool Overflowed() const { return buffer_.overflowed; }

private:
    struct Buffer : std::streambuf {
        explicit Buffer(std::size_t most)
            : most(most)
        {}
        std::streamsize xsputn(const char* data, std::streamsize count) override
        {
            CORVANE_ASSERT_OWNER_THREAD(owner);
            const std::size_t room = most - text.size();
            const auto wanted = static_cast<std::size_t>(count);
            if (wanted > room) overflowed = true;
            const std::size_t taken = wanted > room ? room : wanted;
            text.append(data, taken);
            return static_cast<std::streamsize>(taken);
        }
        int_type overflow(int_type c) override
        {
            if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
            const char byte = traits_type::to_char_type(c);
            return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
        }
        std::size_t most;
        std::string text;
        bool overflowed = false;
        ThreadOwner owner;
    };
    Buffer buffer_;
};

}  // namespace corvane
