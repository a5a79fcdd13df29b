// The connection's states on their own, without sockets: which events each state takes and
// where they lead. What a browser sees of them is in http_connection_test.cpp.
#include "http/http_connection_state.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

using State = THttpConnectionState::State;
using Event = THttpConnectionState::Event;

struct Transition {
    State from;
    Event event;
    State to;
};

// Every event that has a place, and where it leads; any pair not listed is refused.
const std::vector<Transition> kAllowed = {
    // A request: its line, its header, the answer; a kept connection waits for the next.
    {State::AwaitingFirst, Event::RequestLine, State::ReadingHeader},
    {State::AwaitingNext, Event::RequestLine, State::ReadingHeader},
    {State::ReadingHeader, Event::HeaderEnd, State::Answering},
    {State::Answering, Event::BodyStarted, State::Sending},
    {State::Sending, Event::BodyEnded, State::Answering},
    {State::Answering, Event::BodyEnded, State::Answering},
    {State::Answering, Event::ResponseDone, State::AwaitingNext},
    // The close can be asked for at any point; a body on its way still goes.
    {State::AwaitingFirst, Event::Closes, State::Closing},
    {State::AwaitingNext, Event::Closes, State::Closing},
    {State::ReadingHeader, Event::Closes, State::Closing},
    {State::Answering, Event::Closes, State::Closing},
    {State::Sending, Event::Closes, State::SendingLast},
    {State::SendingLast, Event::Closes, State::SendingLast},
    {State::Closing, Event::Closes, State::Closing},
    {State::Draining, Event::Closes, State::Draining},
    {State::Closing, Event::BodyStarted, State::SendingLast},
    {State::SendingLast, Event::BodyEnded, State::Closing},
    {State::Closing, Event::BodyEnded, State::Closing},
    {State::Draining, Event::BodyEnded, State::Draining},
    // Only a connection with nothing more to send shuts its sending direction.
    {State::Closing, Event::DrainStarted, State::Draining},
};

TEST(HttpConnectionState, EachStateTakesOnlyItsEventsAndLeadsWhereTheTableSays)
{
    for (int s = 0; s < THttpConnectionState::kStateCount; ++s) {
        for (int e = 0; e < THttpConnectionState::kEventCount; ++e) {
            const auto from = static_cast<State>(s);
            const auto event = static_cast<Event>(e);
            std::optional<State> expected;
            for (const Transition& t : kAllowed)
                if (t.from == from && t.event == event) expected = t.to;
            EXPECT_EQ(THttpConnectionState::Next(from, event), expected)
                << THttpConnectionState::Name(from) << " + " << THttpConnectionState::Name(event);
        }
    }
}

TEST(HttpConnectionState, AKeptConnectionServesRequestsAndARefusedEventChangesNothing)
{
    THttpConnectionState state;
    EXPECT_TRUE(state.AwaitingRequest());
    for (int request = 0; request < 2; ++request) {
        for (Event event : {Event::RequestLine, Event::HeaderEnd, Event::BodyStarted}) EXPECT_TRUE(state.Apply(event));
        EXPECT_TRUE(state.SendingBody());
        EXPECT_TRUE(state.Responding());
        // A second request line while the answer goes is not read as one.
        EXPECT_FALSE(state.Apply(Event::RequestLine));
        EXPECT_EQ(state.Current(), State::Sending);
        EXPECT_TRUE(state.Apply(Event::BodyEnded));
        EXPECT_TRUE(state.Apply(Event::ResponseDone));
        EXPECT_EQ(state.Current(), State::AwaitingNext);
        EXPECT_FALSE(state.Responding());
    }
    // A pipelined line that never ends: the answer in flight is the last.
    for (Event event : {Event::RequestLine, Event::HeaderEnd, Event::BodyStarted, Event::Closes})
        EXPECT_TRUE(state.Apply(event));
    EXPECT_TRUE(state.Closing());
    EXPECT_TRUE(state.SendingBody());
    EXPECT_FALSE(state.Apply(Event::DrainStarted));  // not before the body has gone
    EXPECT_FALSE(state.Apply(Event::ResponseDone));  // a closing connection is not kept
    EXPECT_TRUE(state.Apply(Event::BodyEnded));
    EXPECT_TRUE(state.Apply(Event::DrainStarted));
    EXPECT_TRUE(state.Draining());
    EXPECT_FALSE(state.Apply(Event::DrainStarted));
}

}  // namespace
}  // namespace corvane
