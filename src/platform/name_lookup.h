// Blocking name lookups. They may take seconds: call them only where the system waits on
// purpose (at start-up, on the resolver thread, in a command the operator started).
#pragma once

#include <string>
#include <vector>

namespace corvane {

// The IPv4 addresses (dotted text) that `hostName` resolves to, in the resolver's order,
// without repetitions; empty when the lookup fails. A dotted address resolves to itself.
// Any thread.
std::vector<std::string> LookupIPv4Addresses(const std::string& hostName);

// This machine's host name; empty when the host does not say.
std::string LocalHostName();

}  // namespace corvane
