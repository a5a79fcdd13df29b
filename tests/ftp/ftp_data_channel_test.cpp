// The data channel's states on their own, without sockets: which events each state takes, where
// they lead, the posted start and the client's port. The end-to-end behaviour over real
// connections is in ftp_data_connection_test.cpp and ftp_retr_test.cpp.
#include "ftp/ftp_data_channel.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace corvane {
namespace {

using State = TFtpDataChannel::State;
using Event = TFtpDataChannel::Event;

struct Transition {
    State from;
    Event event;
    State to;
};

// Every event that has a place somewhere but Closed, and where it leads; any pair not listed is
// refused.
const std::vector<Transition> kAllowed = {
    // PASV or EPSV, again and again while no transfer runs; a failed one leaves no listener.
    {State::Idle, Event::PassiveOpened, State::Listening},
    {State::Listening, Event::PassiveOpened, State::Listening},
    {State::Accepted, Event::PassiveOpened, State::Listening},
    {State::Idle, Event::PassiveLost, State::Idle},
    {State::Listening, Event::PassiveLost, State::Idle},
    {State::Accepted, Event::PassiveLost, State::Idle},
    // A starting transfer whose listener failed its handshake goes active.
    {State::StartingListening, Event::PassiveLost, State::StartingActive},
    // The client reaches the listener before or after the transfer command.
    {State::Listening, Event::ClientArrived, State::Accepted},
    {State::StartingListening, Event::ClientArrived, State::StartingAccepted},
    // A transfer command is accepted only while none runs; refused, it leaves the channel as it was.
    {State::Idle, Event::TransferAccepted, State::StartingActive},
    {State::Listening, Event::TransferAccepted, State::StartingListening},
    {State::Accepted, Event::TransferAccepted, State::StartingAccepted},
    {State::StartingActive, Event::TransferRefused, State::Idle},
    {State::StartingListening, Event::TransferRefused, State::Listening},
    {State::StartingAccepted, Event::TransferRefused, State::Accepted},
    // The start: an active connect, or a wait at the listener; a connection already in place
    // is connected at once.
    {State::StartingActive, Event::Start, State::Connecting},
    {State::StartingListening, Event::Start, State::AwaitingClient},
    {State::StartingAccepted, Event::Connected, State::Connected},
    {State::AwaitingClient, Event::Connected, State::Connected},
    {State::Connecting, Event::Connected, State::Connected},
    // ABOR before the client reached the listener keeps the listener for the next command.
    {State::StartingListening, Event::CalledOff, State::Listening},
    {State::AwaitingClient, Event::CalledOff, State::Listening},
};

// A channel brought into `state` the way the engine brings it there.
TFtpDataChannel ChannelIn(State state)
{
    static const std::vector<std::pair<State, std::vector<Event>>> kRoutes = {
        {State::Idle, {}},
        {State::Listening, {Event::PassiveOpened}},
        {State::Accepted, {Event::PassiveOpened, Event::ClientArrived}},
        {State::StartingActive, {Event::TransferAccepted}},
        {State::StartingListening, {Event::PassiveOpened, Event::TransferAccepted}},
        {State::StartingAccepted, {Event::PassiveOpened, Event::ClientArrived, Event::TransferAccepted}},
        {State::AwaitingClient, {Event::PassiveOpened, Event::TransferAccepted, Event::Start}},
        {State::Connecting, {Event::TransferAccepted, Event::Start}},
        {State::Connected, {Event::TransferAccepted, Event::Start, Event::Connected}},
    };
    TFtpDataChannel channel;
    for (const auto& [target, events] : kRoutes) {
        if (target != state) continue;
        for (Event event : events) EXPECT_TRUE(channel.Apply(event)) << TFtpDataChannel::Name(event);
    }
    EXPECT_EQ(channel.Current(), state);
    return channel;
}

TEST(FtpDataChannelTest, EachStateTakesOnlyItsEventsAndTheyLeadWhereTheEngineExpects)
{
    std::vector<Transition> allowed = kAllowed;
    // Whatever closed, from any state, the channel is back to active mode.
    for (int s = 0; s < TFtpDataChannel::kStateCount; ++s)
        allowed.push_back({static_cast<State>(s), Event::Closed, State::Idle});
    std::set<std::pair<int, int>> listed;
    for (const Transition& t : allowed) {
        SCOPED_TRACE(std::string(TFtpDataChannel::Name(t.from)) + " + " + TFtpDataChannel::Name(t.event));
        listed.emplace(static_cast<int>(t.from), static_cast<int>(t.event));
        TFtpDataChannel channel = ChannelIn(t.from);
        EXPECT_TRUE(channel.Apply(t.event));
        EXPECT_EQ(channel.Current(), t.to) << TFtpDataChannel::Name(channel.Current());
    }
    for (int s = 0; s < TFtpDataChannel::kStateCount; ++s) {
        for (int e = 0; e < TFtpDataChannel::kEventCount; ++e) {
            if (listed.count({s, e}) != 0) continue;
            const auto state = static_cast<State>(s);
            const auto event = static_cast<Event>(e);
            SCOPED_TRACE(std::string(TFtpDataChannel::Name(state)) + " + " + TFtpDataChannel::Name(event));
            TFtpDataChannel channel = ChannelIn(state);
            EXPECT_FALSE(channel.Apply(event));
            EXPECT_EQ(channel.Current(), state);  // a refused event changes nothing
        }
    }
}

TEST(FtpDataChannelTest, ASecondTransferIsRefusedAndTheFirstKeepsItsCommand)
{
    TFtpDataChannel channel;
    ASSERT_TRUE(channel.AcceptTransfer(ftpcSTOR));
    EXPECT_FALSE(channel.AcceptTransfer(ftpcRETR));
    EXPECT_EQ(channel.Command(), ftpcSTOR);
    channel.Apply(Event::Start);
    channel.Apply(Event::Closed);
    ASSERT_TRUE(channel.AcceptTransfer(ftpcRETR));
    EXPECT_EQ(channel.Command(), ftpcRETR);
}

TEST(FtpDataChannelTest, APostedStartStartsOnlyTheTransferItWasPostedFor)
{
    // Taken once, also when the client reaches the listener before the start runs.
    TFtpDataChannel channel = ChannelIn(State::StartingListening);
    channel.NoteStartPosted();
    channel.Apply(Event::ClientArrived);
    EXPECT_TRUE(channel.TakePostedStart());
    EXPECT_FALSE(channel.TakePostedStart());
    // ABOR called the transfer off; the next one, whose start its owner delays, is not started
    // by the start that was on its way.
    channel = ChannelIn(State::StartingListening);
    channel.NoteStartPosted();
    channel.Apply(Event::CalledOff);
    channel.AcceptTransfer(ftpcRETR);
    EXPECT_FALSE(channel.TakePostedStart());
    // A start asked for with no transfer starting is nothing.
    channel = ChannelIn(State::Idle);
    channel.NoteStartPosted();
    channel.AcceptTransfer(ftpcRETR);
    EXPECT_FALSE(channel.TakePostedStart());
}

TEST(FtpDataChannelTest, EveryEndOfATransferSendsTheNextOneToPort20)
{
    for (Event end : {Event::Closed, Event::CalledOff}) {
        TFtpDataChannel channel;
        channel.SetClientTarget("127.0.0.1", "5000");
        channel.Apply(Event::PassiveOpened);
        channel.AcceptTransfer(ftpcLIST);
        channel.Apply(Event::Start);
        ASSERT_TRUE(channel.Apply(end)) << TFtpDataChannel::Name(end);
        EXPECT_EQ(channel.ClientDataAddr(), "127.0.0.1");
        EXPECT_EQ(channel.ClientDataPort(), "ftp-data");
    }
    // A refused command started nothing: the target stays.
    TFtpDataChannel channel;
    channel.SetClientTarget("127.0.0.1", "5000");
    channel.AcceptTransfer(ftpcRETR);
    channel.Apply(Event::TransferRefused);
    EXPECT_EQ(channel.ClientDataPort(), "5000");
}

}  // namespace
}  // namespace corvane
