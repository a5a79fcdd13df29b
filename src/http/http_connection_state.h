// THttpConnectionState: where one browser connection is, from its first request to its close,
// in one value. The connection reports what happened (an event) and acts on the state it leads
// to; every rule of which event may happen when is in http_connection_state.cpp, in one table.
//
// The class knows no socket: the connection does the reading, sending and closing, and asks the
// state what it may do next. Owner thread: the connection's.
//
//   state            the connection ...
//   AwaitingFirst    waits for its first request line (the header time limit holds)
//   AwaitingNext     has answered a request and waits for the next (the keep-alive limit holds)
//   ReadingHeader    reads the header lines of a request
//   Answering        has the whole header: the owner answers, a request body may be read
//   Sending          sends a response body block by block
//   SendingLast      ... and closes after it: nothing more is read as requests
//   Closing          closes once everything queued has gone
//   Draining         has shut its sending direction: what the client still sends is dropped
//
// Lines that arrive from Answering on are held (until Closing, which drops them) and read once
// the connection waits for a request again.
#pragma once

#include <optional>

namespace corvane {

class THttpConnectionState {
public:
    enum class State {
        AwaitingFirst,
        AwaitingNext,
        ReadingHeader,
        Answering,
        Sending,
        SendingLast,
        Closing,
        Draining,
    };
    static constexpr int kStateCount = 8;

    enum class Event {
        RequestLine,   // a request line has been read
        HeaderEnd,     // the blank line that ends the header
        BodyStarted,   // a response body begins to go out block by block
        BodyEnded,     // it has gone, ended early, or the connection under it has closed
        ResponseDone,  // the response is done and the connection is kept for the next request
        Closes,        // the connection is to close once what it has queued has gone
        DrainStarted,  // everything has gone: the sending direction is shut
    };
    static constexpr int kEventCount = 7;

    // The state `event` leads to from `state`, or nullopt when the event has no place there.
    static std::optional<State> Next(State state, Event event);
    static const char* Name(State state);
    static const char* Name(Event event);

    State Current() const { return state_; }
    // Moves to the state the event leads to; false, leaving the state as it was, when the event
    // has no place in the current state.
    bool Apply(Event event);

    // Waits for a request line (the first, or the next on a kept-alive connection).
    bool AwaitingRequest() const { return state_ == State::AwaitingFirst || state_ == State::AwaitingNext; }
    // From the end of a request's header to the connection's readiness for the next: lines
    // that arrive meanwhile are not read as requests.
    bool Responding() const;
    bool SendingBody() const { return state_ == State::Sending || state_ == State::SendingLast; }
    // Nothing more is answered: the connection closes after what it sends now.
    bool Closing() const;
    bool Draining() const { return state_ == State::Draining; }

private:
    State state_ = State::AwaitingFirst;
};

}  // namespace corvane
