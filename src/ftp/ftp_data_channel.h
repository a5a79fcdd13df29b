// TFtpDataChannel: the state of one client's data connection, from PASV or PORT to the end of a
// transfer, in one value. The engine reports what happened (an event) and acts on the state it
// leads to; every rule of which event may happen when is in ftp_data_channel.cpp, in one table.
//
// The class knows no socket: the engine opens and closes the data socket and asks the channel
// what the client is waiting for. Owner thread: the client's.
//
//   state               the client has ...                          the next transfer ...
//   Idle                no listener (active mode, the default)      connects to the client
//   Listening           a listener from PASV or EPSV                 waits for the client
//   Accepted            reached the listener; waits, paused         starts at once
//   StartingActive      a transfer command accepted, no connection  connects to the client
//   StartingListening   ... with a listener it has not reached yet  waits for the client
//   StartingAccepted    ... with its connection to the listener     starts at once
//   AwaitingClient      a transfer that waits for it at the listener
//   Connecting          a transfer whose active connect is under way
//   Connected           a transfer whose data connection is up
//
// A transfer runs from its acceptance (Starting...) to the close of its data connection, which
// brings the channel back to Idle: the listener of a PASV serves one transfer.
#pragma once

#include <optional>
#include <string>

#include "common/thread_owner.h"
#include "ftp/ftp_types.h"

namespace corvane {

class TFtpDataChannel {
public:
    enum class State {
        Idle,
        Listening,
        Accepted,
        StartingActive,
        StartingListening,
        StartingAccepted,
        AwaitingClient,
        Connecting,
        Connected,
    };
    static constexpr int kStateCount = 9;

    enum class Event {
        PassiveOpened,     // PASV or EPSV has a listener waiting for the client
        PassiveLost,       // the listener, or the connection it took, is gone with no transfer on it
        ClientArrived,     // the client's connection to the listener is in place (and secured)
        TransferAccepted,  // a transfer command was accepted
        TransferRefused,   // ... and then refused or failed before its data connection was asked for
        Start,             // the transfer asks for its data connection: an active connect, or the listener
        Connected,         // the transfer's data connection is up
        CalledOff,         // ABOR before the client reached the listener: the listener stays
        Closed,            // the transfer's data connection has closed, or the transfer was abandoned
    };
    static constexpr int kEventCount = 9;

    // The state `event` leads to from `state`, or nullopt when the event has no place there.
    static std::optional<State> Next(State state, Event event);
    static const char* Name(State state);
    static const char* Name(Event event);

    State Current() const { return state_; }
    // Moves to the state the event leads to; false, leaving everything as it was, when the
    // event has no place in the current state.
    bool Apply(Event event);
    // TransferAccepted for `command`, which decides the data handlers and the final reply;
    // false while a transfer runs.
    bool AcceptTransfer(TFtpCommandId command);

    // The names the engine's events and settings use.
    bool PassiveRequested() const;     // a listener (or the connection it took) waits for a transfer
    bool PassiveStartPending() const;  // a transfer waits for the client to reach the listener
    bool PassiveAccepted() const;      // the client's connection to the listener waits for a transfer
    bool DataConnected() const { return state_ == State::Connected; }
    bool TransferRunning() const;  // from the acceptance of a transfer command to its end
    bool Starting() const;         // a transfer accepted whose data connection is not asked for yet
    TFtpCommandId Command() const { return command_; }

    // A start event of the engine is on its way for the starting transfer. Leaving the starting
    // states forgets it, so a start that ABOR called off starts nothing, not even a later
    // transfer.
    void NoteStartPosted() { startPosted_ = Starting(); }
    // True once for a start posted for the transfer that is still starting.
    bool TakePostedStart();

    // Where an active data connection goes (PORT, EPRT). The port goes back to "ftp-data" at the
    // end of every transfer, so a transfer without a new PORT connects to the client's port 20.
    const std::string& ClientDataAddr() const { return clientDataAddr_; }
    const std::string& ClientDataPort() const { return clientDataPort_; }
    void SetClientTarget(const std::string& addr, const std::string& port);

    // The port of the passive range that the data socket holds (0: none), given back once.
    int PasvPort() const { return pasvPort_; }
    void SetPasvPort(int port) { pasvPort_ = port; }
    int TakePasvPort();

private:
    State state_ = State::Idle;
    TFtpCommandId command_ = ftpcCmdNone;
    bool startPosted_ = false;
    std::string clientDataAddr_;
    std::string clientDataPort_;
    int pasvPort_ = 0;
    ThreadOwner owner_;  // the client's thread, which makes its control connection
};

}  // namespace corvane
