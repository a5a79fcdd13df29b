#include "http/http_connection_state.h"

#include <array>

namespace corvane {
namespace {

using State = THttpConnectionState::State;
using Event = THttpConnectionState::Event;

// One row per state, one column per event, in the order of the two enums; NO is an event that
// has no place in that state.
constexpr int kNone = -1;
constexpr int F = static_cast<int>(State::AwaitingFirst);
constexpr int N = static_cast<int>(State::AwaitingNext);
constexpr int H = static_cast<int>(State::ReadingHeader);
constexpr int A = static_cast<int>(State::Answering);
constexpr int S = static_cast<int>(State::Sending);
constexpr int SL = static_cast<int>(State::SendingLast);
constexpr int C = static_cast<int>(State::Closing);
constexpr int D = static_cast<int>(State::Draining);
constexpr int NO = kNone;
// The table's rows are found by the state's number: they must follow the enum's order.
static_assert(F == 0 && N == 1 && H == 2 && A == 3 && S == 4 && SL == 5 && C == 6 && D == 7,
              "the rows of the transition table follow the order of the states");

using Row = std::array<int, THttpConnectionState::kEventCount>;
constexpr std::array<Row, THttpConnectionState::kStateCount> kTransitions = {{
    //        RequestLine HeaderEnd BodyStarted BodyEnded ResponseDone Closes DrainStarted
    /* F  */ {H, NO, NO, NO, NO, C, NO},
    /* N  */ {H, NO, NO, NO, NO, C, NO},
    /* H  */ {NO, A, NO, NO, NO, C, NO},
    // A whole answer written at once ends its body without having sent it block by block.
    /* A  */ {NO, NO, S, A, N, C, NO},
    /* S  */ {NO, NO, NO, A, NO, SL, NO},
    /* SL */ {NO, NO, NO, C, NO, SL, NO},
    // An answer begun after the close was asked for still goes out before the close.
    /* C  */ {NO, NO, SL, C, NO, C, D},
    /* D  */ {NO, NO, NO, D, NO, D, NO},
}};

constexpr std::array<const char*, THttpConnectionState::kStateCount> kStateNames = {
    "AwaitingFirst", "AwaitingNext", "ReadingHeader", "Answering", "Sending", "SendingLast", "Closing", "Draining"};
constexpr std::array<const char*, THttpConnectionState::kEventCount> kEventNames = {
    "RequestLine", "HeaderEnd", "BodyStarted", "BodyEnded", "ResponseDone", "Closes", "DrainStarted"};

}  // namespace

std::optional<State> THttpConnectionState::Next(State state, Event event)
{
    const int next = kTransitions[static_cast<std::size_t>(state)][static_cast<std::size_t>(event)];
    if (next == kNone) return std::nullopt;
    return static_cast<State>(next);
}

const char* THttpConnectionState::Name(State state) { return kStateNames[static_cast<std::size_t>(state)]; }
const char* THttpConnectionState::Name(Event event) { return kEventNames[static_cast<std::size_t>(event)]; }

bool THttpConnectionState::Apply(Event event)
{
    const std::optional<State> next = Next(state_, event);
    if (!next) return false;
    state_ = *next;
    return true;
}

bool THttpConnectionState::Responding() const { return !AwaitingRequest() && state_ != State::ReadingHeader; }

bool THttpConnectionState::Closing() const
{
    return state_ == State::SendingLast || state_ == State::Closing || state_ == State::Draining;
}

}  // namespace corvane
