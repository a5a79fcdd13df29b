// The session table: one record per connected FTP client, in connection order, shown in the
// window's session view and consulted by the event handlers for the account name of a client.
//
// Locks: the table's own lock around every lookup, insertion and removal; each record's own
// lock around each field. Lock order: table before record. Records are shared, so a record
// that the window is showing stays valid after its client has been removed.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
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
    // `client` is the identity of the FTP client object; it is compared, never followed.
    // `number` names the session to the operator (the administration commands' session list);
    // the table numbers its sessions from 1, never reusing a number.
    sessionRecord(const void* client, std::string peerAddress, std::uint64_t number = 0)
        : client_(client), number_(number), peerAddress_(std::move(peerAddress))
    {
    }

    const void* Client() const { return client_; }  // fixed at creation
    std::uint64_t Number() const { return number_; }  // fixed at creation
    std::string PeerAddress() const { return Get(peerAddress_); }
    std::string AccountName() const { return Get(accountName_); }
    std::string CurrentPath() const { return Get(currentPath_); }
    std::string LastCommand() const { return Get(lastCommand_); }
    std::string GroupName() const { return Get(groupName_); }
    std::int32_t LastAction() const;

    void SetLastCommand(const std::string& text) { Set(lastCommand_, text); }
    // One action update: account, path, action and the account's group.
    void SetAction(const std::string& account, const std::string& path, std::int32_t action,
                   const std::string& group);

private:
    std::string Get(const std::string& field) const;
    void Set(std::string& field, const std::string& value);

    const void* const client_;
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
    SessionRecordPtr Add(const void* client, const std::string& peerAddress);
    // Removes the client's record; false when it had none.
    bool Remove(const void* client);
    SessionRecordPtr Find(const void* client) const;
    std::vector<SessionRecordPtr> Records() const;  // a snapshot, in connection order
    std::size_t Count() const;
    void Clear();

private:
    mutable std::mutex lock_;
    std::vector<SessionRecordPtr> records_;
    std::uint64_t lastNumber_ = 0;
};

}  // namespace corvane
