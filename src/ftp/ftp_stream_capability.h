// What the engine may ask of a transfer or cached stream beyond std::iostream, without knowing
// its type. A stream type that can do more offers a TFtpStreamCapability through the slot that
// every stream has for such additions (std::ios_base::pword); a stream that offers none is a
// plain byte stream, read and written as such. So the engine's send path and its error texts
// follow from what a stream says it can do, not from testing its type.
//
// Owner thread: that of the stream.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

#include "common/thread_owner.h"
#include "platform/file_stream.h"

namespace corvane {

class TFtpStreamCapability {
public:
    // The open file whose bytes the stream reads, when they may go from the file straight to a
    // socket; nullptr when there is none.
    virtual const FileStream* SendableFile() const { return nullptr; }
    // Why the last operation on the stream failed; "" when it cannot tell.
    virtual std::string LastErrorText() const { return {}; }
    // Makes an in-memory copy `size` bytes long from its start, before it is written over from
    // there; false for a stream that cannot be resized.
    virtual bool Resize(std::streamoff /*size*/) { return false; }

protected:
    TFtpStreamCapability() = default;
    TFtpStreamCapability(const TFtpStreamCapability&) = default;
    TFtpStreamCapability& operator=(const TFtpStreamCapability&) = default;
    ~TFtpStreamCapability() = default;
};

// The capability that the stream offers; nullptr for a plain stream.
TFtpStreamCapability* CapabilityOf(std::ios_base& stream);
// For the constructor of a stream type: the stream offers `capability` (which lives as long).
void OfferCapability(std::ios_base& stream, TFtpStreamCapability* capability);

// An in-memory stream that an owner's cached copy, or a listing, may be: it can be resized.
class TFtpMemoryStream : public std::stringstream, private TFtpStreamCapability {
public:
    TFtpMemoryStream()
        : std::stringstream(std::ios::in | std::ios::out | std::ios::binary)
    {
        OfferCapability(*this, this);
    }
    explicit TFtpMemoryStream(const std::string& text)
        : std::stringstream(text, std::ios::in | std::ios::out | std::ios::binary)
    {
        OfferCapability(*this, this);
    }
    TFtpMemoryStream(const TFtpMemoryStream&) = delete;
    TFtpMemoryStream& operator=(const TFtpMemoryStream&) = delete;

private:
    bool Resize(std::streamoff size) override;

    ThreadOwner owner_;
};

}  // namespace corvane
