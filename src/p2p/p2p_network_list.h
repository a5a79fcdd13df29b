// The P2P networks this server can take part in: each with its address, the operator's account
// on it and whether the operator takes part. The list lives in section "Network" of the
// settings file ("Count" and "Network0" ... one encoded entry each) and is shared by the
// options dialog (window thread) and the indexer's network phase (indexer thread).
//
// Threads: every reader and writer of the entries holds Lock() while it reads or changes
// them, and never during a network request. The list object itself is owned by the server
// controller and outlives every indexer run.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini_image.h"

namespace corvane {

struct P2PNetwork {
    std::string name;      // as the network operator publishes it; the key of the entry
    std::string address;   // the network's base URL with "v6" joined to it
    std::string userName;  // empty: unregistered
    std::string password;
    bool enabled = false;
    bool existingAccount = false;  // the account existed already, so it is not registered again
    std::string indexServerUrl;    // found by a lookup; in memory only, empty after loading

    bool registered() const { return !userName.empty(); }
};

// An entry as stored: name "*" address "*" user "*" scrambled password "*" enabled "*"
// existing account, the flags "1" or "0". The password is scrambled as the account files'
// are (ScramblePassword: every bit of every byte inverted).
std::string EncodeNetworkEntry(const P2PNetwork& network);
// Reads an entry back. The name, address and user name end at the first "*" each (they never
// hold one); the two flags are the last two fields, so a scrambled password that holds a "*"
// comes back whole. Missing fields are empty or false.
P2PNetwork DecodeNetworkEntry(std::string_view text);

// The address of a network as the list file names it: join(address, "v6").
std::string NetworkAddressOf(std::string_view publishedAddress);

// One line of the network operator's list file: the name, "*", the address ("*" and anything
// after a second "*" are not used; a line without "*" is a name with an empty address).
struct PublishedNetwork {
    std::string name;
    std::string address;  // as published, without "v6"
};
// The lines of the list file (CR LF, LF or CR ends); empty lines are passed over.
std::vector<PublishedNetwork> ParseNetworkListText(std::string_view text);

inline constexpr std::string_view kP2PNetworkSection = "Network";
inline constexpr std::string_view kNetworkCountKey = "Count";
inline constexpr std::string_view kNetworkEntryKeyPrefix = "Network";

class P2PNetworkList {
public:
    P2PNetworkList() = default;
    P2PNetworkList(const P2PNetworkList&) = delete;
    P2PNetworkList& operator=(const P2PNetworkList&) = delete;

    // The lock the options dialog and the indexer share. Hold it around every call below.
    std::mutex& Lock() { return lock_; }

    // Replaces the entries with those of section "Network". A missing, negative or non-number
    // "Count" reads as none; a Count beyond the keys the section holds reads only what is
    // there, and missing or empty "NetworkN" values are passed over.
    void Load(const IniImage& image);
    // Writes "Count", then the entries from the last to the first as "Network" + position;
    // stale entry keys of a longer earlier list are removed. The image is not saved here.
    void Save(IniImage& image) const;

    std::vector<P2PNetwork>& Entries() { return entries_; }
    const std::vector<P2PNetwork>& Entries() const { return entries_; }
    // The first entry whose name equals `name` exactly, or null.
    P2PNetwork* FindByName(std::string_view name);

    // The merge of a downloaded list: an entry named by a line gets the line's address (the
    // last line of a name wins), a name not yet listed becomes a new entry (unregistered, not
    // enabled) at the end, and entries that no line names are removed. A download that names
    // no network at all changes nothing, so the accounts are never lost with it.
    void MergePublished(const std::vector<PublishedNetwork>& published);

    // The encoded form of every registered entry, each followed by CR LF (the text published
    // to the companion program in P2P mode).
    std::string RegisteredEntriesText() const;

private:
    std::mutex lock_;
    std::vector<P2PNetwork> entries_;  // guarded by lock_
};

}  // namespace corvane
