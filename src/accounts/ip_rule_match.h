#pragma once
// Matching of one IP access rule against a client, for the address test and the host-name
// test of the account store. Pure functions: safe from any thread.
//
// Address rules have four "."-separated fields. A field is a pattern of digits and "x"/"X"
// (each "x" one digit) or a range "low-high" of two such patterns. A field covers the numbers
// from its low bound (every "x" read as 0) to its high bound (every "x" of the high part, or of
// the pattern itself when there is no "-", read as 9), inclusive. So "xxx" covers 0..999,
// "x" only 0..9, "12x-14x" 120..149, and a field of digits only exactly its number.
//
// IPv6 rules are an address ("::1", one address) or a prefix ("2001:db8::/32", 1..128 bits);
// they cover IPv6 clients only. An IPv4-mapped client (::ffff:a.b.c.d) is an IPv4 client and
// meets the four-field rules. "::/0", "/129" and a bare "::" are no rules (IsValidIPv6Rule).
//
// Host-name rules are compared label by label from the right, case-insensitively; inside a
// label "*" matches any one character and a label that is exactly "*" matches any one label.
// A leftmost rule label "*" also covers any number (one or more) of further labels, so
// "*.example.com" covers "a.b.example.com". Otherwise the label counts must be equal.
#include <string>
#include <string_view>

namespace corvane {

// True when the text is four decimal fields 0..255 separated by exactly three ".".
bool IsDottedClientAddress(std::string_view address);

// True for a dotted client address or an IPv6 one.
bool IsClientAddress(std::string_view address);

// For a rule that is IPv6 (it holds a ":"): whether it is an address or prefix that can match.
bool IsValidIPv6Rule(std::string_view rule);

// True when the rule is an address rule covering the (valid dotted or IPv6) client address.
bool AddressRuleCovers(std::string_view rule, std::string_view address);

// True when the rule's last "."-separated label is a decimal integer; such rules take no
// part in the host-name test.
bool RuleEndsInNumber(std::string_view rule);

// True when the host-name rule covers the host name.
bool HostRuleCovers(std::string_view rule, std::string_view hostName);

}  // namespace corvane
