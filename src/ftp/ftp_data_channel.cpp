#include "ftp/ftp_data_channel.h"

#include <array>

namespace corvane {
namespace {

using State = TFtpDataChannel::State;
using Event = TFtpDataChannel::Event;

// One row per state, one column per event, in the order of the two enums; NO is an event that
// has no place in that state.
constexpr int kNone = -1;
constexpr int I = static_cast<int>(State::Idle);
constexpr int L = static_cast<int>(State::Listening);
constexpr int A = static_cast<int>(State::Accepted);
constexpr int SA = static_cast<int>(State::StartingActive);
constexpr int SL = static_cast<int>(State::StartingListening);
constexpr int SC = static_cast<int>(State::StartingAccepted);
constexpr int W = static_cast<int>(State::AwaitingClient);
constexpr int C = static_cast<int>(State::Connecting);
constexpr int D = static_cast<int>(State::Connected);
constexpr int NO = kNone;

using Row = std::array<int, TFtpDataChannel::kEventCount>;
constexpr std::array<Row, TFtpDataChannel::kStateCount> kTransitions = {{
    //        PassiveOpened PassiveLost ClientArrived TransferAccepted TransferRefused Start Connected CalledOff Closed
    /* I  */ {L, I, NO, SA, NO, NO, NO, NO, I},
    /* L  */ {L, I, A, SL, NO, NO, NO, NO, I},
    /* A  */ {L, I, NO, SC, NO, NO, NO, NO, I},
    /* SA */ {NO, NO, NO, NO, I, C, NO, NO, I},
    // A failed handshake on the listener's connection leaves a starting transfer to go active.
    /* SL */ {NO, SA, SC, NO, L, W, NO, L, I},
    /* SC */ {NO, NO, NO, NO, A, NO, D, NO, I},
    // The connection arriving at the listener is the transfer's Connected.
    /* W  */ {NO, NO, NO, NO, NO, NO, D, L, I},
    /* C  */ {NO, NO, NO, NO, NO, NO, D, NO, I},
    /* D  */ {NO, NO, NO, NO, NO, NO, NO, NO, I},
}};

constexpr std::array<const char*, TFtpDataChannel::kStateCount> kStateNames = {
    "Idle",           "Listening",  "Accepted", "StartingActive", "StartingListening", "StartingAccepted",
    "AwaitingClient", "Connecting", "Connected"};
constexpr std::array<const char*, TFtpDataChannel::kEventCount> kEventNames = {
    "PassiveOpened", "PassiveLost", "ClientArrived", "TransferAccepted", "TransferRefused", "Start",
    "Connected",     "CalledOff",   "Closed"};

constexpr char kFtpDataService[] = "ftp-data";

}  // namespace

std::optional<State> TFtpDataChannel::Next(State state, Event event)
{
    const int next = kTransitions[static_cast<std::size_t>(state)][static_cast<std::size_t>(event)];
    if (next == kNone) return std::nullopt;
    return static_cast<State>(next);
}

const char* TFtpDataChannel::Name(State state) { return kStateNames[static_cast<std::size_t>(state)]; }
const char* TFtpDataChannel::Name(Event event) { return kEventNames[static_cast<std::size_t>(event)]; }

bool TFtpDataChannel::Apply(Event event)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const std::optional<State> next = Next(state_, event);
    if (!next) return false;
    state_ = *next;
    // A start posted for a transfer still belongs to it while it is starting (the client may
    // reach the listener meanwhile); once the transfer has left that stage, it starts nothing.
    if (!Starting()) startPosted_ = false;
    // Whichever way a transfer ends, the next one without a PORT goes to the client's port 20.
    if (event == Event::Closed || event == Event::CalledOff) clientDataPort_ = kFtpDataService;
    return true;
}

bool TFtpDataChannel::AcceptTransfer(TFtpCommandId command)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (!Apply(Event::TransferAccepted)) return false;
    command_ = command;
    return true;
}

bool TFtpDataChannel::PassiveRequested() const
{
    return state_ == State::Listening || state_ == State::Accepted || state_ == State::StartingListening ||
           state_ == State::StartingAccepted || state_ == State::AwaitingClient;
}

bool TFtpDataChannel::PassiveStartPending() const { return state_ == State::AwaitingClient; }

bool TFtpDataChannel::PassiveAccepted() const { return state_ == State::Accepted || state_ == State::StartingAccepted; }

bool TFtpDataChannel::TransferRunning() const
{
    return Starting() || state_ == State::AwaitingClient || state_ == State::Connecting || state_ == State::Connected;
}

bool TFtpDataChannel::Starting() const
{
    return state_ == State::StartingActive || state_ == State::StartingListening || state_ == State::StartingAccepted;
}

bool TFtpDataChannel::TakePostedStart()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const bool posted = startPosted_ && Starting();
    startPosted_ = false;
    return posted;
}

void TFtpDataChannel::SetClientTarget(const std::string& addr, const std::string& port)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    clientDataAddr_ = addr;
    clientDataPort_ = port;
}

int TFtpDataChannel::TakePasvPort()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    const int port = pasvPort_;
    pasvPort_ = 0;
    return port;
}

}  // namespace corvane
