// A slot of its own in every stream (std::ios_base::pword) for one kind of addition a stream
// type may offer beyond std::iostream: the type offers it from its constructor, and whoever
// holds the stream asks for it instead of testing the stream's type. A stream that offers none
// answers nullptr.
//
// Owner thread: that of the stream.
#pragma once

#include <ios>

namespace corvane {

template <typename Addition>
class StreamSlot {
public:
    static Addition* Of(std::ios_base& stream) { return static_cast<Addition*>(stream.pword(Index())); }
    // `addition` lives as long as the stream.
    static void Offer(std::ios_base& stream, Addition* addition) { stream.pword(Index()) = addition; }

private:
    // The index is taken once per kind, before any stream asks for it.
    static int Index()
    {
        static const int index = std::ios_base::xalloc();
        return index;
    }
};

}  // namespace corvane
