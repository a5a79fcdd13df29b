// The session table: one record per connected FTP client, in connection order, shown in the
// window's session view and consulted by the event handlers for the account name of a client.
// A client is named by its ClientNumber, never by its address: numbers are never reused, so a
// request for a client that has gone finds nothing even when a new client sits at its address.
// Look-ups by client number and by session number are hashed: their cost does not grow with
// the number of sessions.
//
// Locks: the table's own lock around every lookup, insertion and removal; each record's own
// lock around each field. Lock order: table before record. Records are shared, so a record
// that the window is showing stays valid after its client has been removed.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane {

// What a client did last; the window picks the row's icon by it.
enum SessionAction : std::int32_t {
    saLoggedIn = 0,
    saSearch = 1,
    saMd5Request = 2,
    saFileDeleted = 3,
    saDirectoryListed = 4,
    saDownloadAllowed = 5,
    saDirectoryMade = 6,
    saDirectoryChanged = 7,
    saRename = 8,
    saUploadAllowed = 9,
    saDirectoryRemoved = 10,
};

// The session view's icon index for an action code (5 for any code outside the table).
int SessionActionIcon(std::int32_t action);

class sessionRecord {
public:
    // `clientNumber` is the FTP client's ClientNumber. `number` names the session to the
    // operator (the session view, the administration commands' session list); the table
    // numbers its sessions from 1, never reusing a number.
    sessionRecord(long long clientNumber, std::string peerAddress, std::uint64_t number = 0)
        : clientNumber_(clientNumber),
          number_(number),
          peerAddress_(std::move(peerAddress))
    {}

    long long ClientNumber() const { return clientNumber_; }  // fixed at creation
    std::uint64_t Number() const { return number_; }          // fixed at creation
    std::string PeerAddress() const { return Get(peerAddress_); }
    std::string AccountName() const { return Get(accountName_); }
    std::string CurrentPath() const { return Get(currentPath_); }
    std::string LastCommand() const { return Get(lastCommand_); }
    std::string GroupName() const { return Get(groupName_); }
    std::int32_t LastAction() const;

    void SetLastCommand(const std::string& text) { Set(lastCommand_, text); }
    // One action update: account, path, action and the account's group.
    void SetAction(const std::string& account, const std::string& path, std::int32_t action, const std::string& group);

private:
    std::string Get(const std::string& field) const;
    void Set(std::string& field, const std::string& value);

    const long long clientNumber_;
    const std::uint64_t number_;
    mutable std::mutex lock_;
    std::string peerAddress_;
    std::string accountName_;
    std::string currentPath_;
    std::string lastCommand_;
    std::string groupName_;
    std::int32_t lastAction_ = saLoggedIn;
};

using SessionRecordPtr = std::shared_ptr<sessionRecord>;

class sessionTable {
public:
    // A client number that has a record already gets a fresh one in its place.
    SessionRecordPtr Add(long long clientNumber, const std::string& peerAddress);
    // Removes the client's record; false when it had none.
    bool Remove(long long clientNumber);
    SessionRecordPtr Find(long long clientNumber) const;
    // The record of the session with this operator-facing number, or null once it has gone.
    SessionRecordPtr FindSession(std::uint64_t sessionNumber) const;
    std::vector<SessionRecordPtr> Records() const;  // a snapshot, in connection order
    std::size_t Count() const;
    void Clear();
    // The highest client number ever added: a new FTP engine numbers its clients after it, so
    // a number that named a client of an earlier engine never names one of the next.
    long long HighestClientNumber() const;

private:
    using Order = std::list<SessionRecordPtr>;
    void EraseLocked(Order::iterator where);

    mutable std::mutex lock_;
    Order records_;  // connection order
    std::unordered_map<long long, Order::iterator> byClient_;
    std::unordered_map<std::uint64_t, Order::iterator> bySession_;
    std::uint64_t lastNumber_ = 0;
    long long highestClientNumber_ = 0;
};

}  // namespace corvane
