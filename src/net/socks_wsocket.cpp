#include "net/socks_wsocket.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "common/ip_text.h"
#include "common/text_case.h"
#include "common/text_trim.h"
#include "net/socks_errors.h"
#include "net/wsocket_functions.h"

namespace corvane {
namespace {

constexpr unsigned char kSocks4Version = 4;
constexpr unsigned char kSocks5Version = 5;
constexpr unsigned char kAuthVersion = 1;
constexpr unsigned char kCommandConnect = 1;
constexpr unsigned char kMethodNone = 0;
constexpr unsigned char kMethodUsercode = 2;
constexpr unsigned char kAddressIpv4 = 1;
constexpr unsigned char kAddressName = 3;
constexpr unsigned char kAddressIpv6 = 4;
constexpr std::size_t kLongestField = 255;  // one length byte, or what a proxy takes for 4A

unsigned char Byte(const std::string& bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }

void AppendPort(std::string& out, int port)
{
    out += static_cast<char>((port >> 8) & 0xFF);
    out += static_cast<char>(port & 0xFF);
}

// The destination as an IPv6 address ("::1" or "[::1]"); nothing for a name or an IPv4 address.
std::optional<IPv6Bytes> IPv6Destination(std::string_view address)
{
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    return LooksIPv6(address) ? ParseIPv6(address) : std::nullopt;
}

void AppendAddress(std::string& out, std::uint32_t address)
{
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((address >> shift) & 0xFF);
}

}  // namespace

// ---- properties ---------------------------------------------------------------------------------

void TCustomSocksWSocket::SetSocksServer(const std::string& value)
{
    if (State() != wsClosed) {
        RaiseException("Can't change socks server if not closed");
        return;
    }
    socksServer_ = TrimSpaces(value);
}

void TCustomSocksWSocket::SetSocksPort(const std::string& value)
{
    if (State() != wsClosed) {
        RaiseException("Can't change socks port if not closed");
        return;
    }
    socksPort_ = TrimSpaces(value);
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& value)
{
    if (State() != wsClosed) {
        RaiseException("Can't change socks level if not closed");
        return;
    }
    if (value != "4" && value != "5" && !EqualsIgnoreCase(value, "4A")) {
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    socksLevel_ = FoldCase(value) == "4a" ? "4A" : value;
}

void TCustomSocksWSocket::AssignDefaultValue()
{
    TCustomWSocket::AssignDefaultValue();
    socksServer_.clear();
    socksPort_.clear();
    socksLevel_ = "5";
    socksState_ = socksData;
    reply_.clear();
    held_.clear();
}

std::string TCustomSocksWSocket::ConnectHostText() const
{
    return UsingSocks() ? socksServer_ : TCustomWSocket::ConnectHostText();
}

std::string TCustomSocksWSocket::ConnectPortText() const
{
    return UsingSocks() ? socksPort_ : TCustomWSocket::ConnectPortText();
}

// ---- opening ------------------------------------------------------------------------------------

void TCustomSocksWSocket::Connect()
{
    if (!UsingSocks()) {
        TCustomWSocket::Connect();
        return;
    }
    if (!EqualsIgnoreCase(Proto(), "tcp") && Proto() != "6") {
        RaiseException("tcp is the only protocol supported thru socks server");
        return;
    }
    if (!Port().empty()) {
        try {
            destPort_ = WSocketResolvePort(Port(), "tcp");
        } catch (const ESocketException& e) {
            RaiseException(std::string("connect: ") + e.what());
            return;
        }
    }
    socksState_ = socksNegociateMethods;
    authOffered_ = false;
    reply_.clear();
    held_.clear();
    boundAddr_.clear();
    boundPort_.clear();
    try {
        TCustomWSocket::Connect();
    } catch (...) {
        socksState_ = socksData;
        throw;
    }
    if (State() != wsConnecting) socksState_ = socksData;  // the attempt did not start
}

void TCustomSocksWSocket::Listen()
{
    if (UsingSocks()) {
        RaiseException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

// The proxy's connection is there (or failed): the negotiation starts, and the application hears
// of the connection only when the proxy has granted it.
void TCustomSocksWSocket::TriggerSessionConnectedSpecial(std::uint16_t error)
{
    if (!Negotiating()) {
        TriggerSessionConnected(error);
        return;
    }
    TriggerSocksConnected(error);
    if (error != 0) {
        socksState_ = socksData;
        TriggerSessionConnected(error);
        return;
    }
    if (socksLevel_ != "5" && LooksIPv6(Addr())) {
        // Version 4 carries four address bytes, and 4A's name would be read as a host name.
        Fail(kSocksAddressNotSupported, "socks " + socksLevel_ + " cannot carry an IPv6 destination; use socks 5");
        return;
    }
    if (std::string why; !FieldsFit(why)) {
        Fail(kSocksFieldTooLong, why);
        return;
    }
    if (socksLevel_ == "5") SendMethodOffer();
    else SendConnectRequest();
}

// Nothing goes out that the request cannot carry: a field over its one length byte is refused
// before the first byte is sent, never cut.
bool TCustomSocksWSocket::FieldsFit(std::string& why) const
{
    const bool level5 = socksLevel_ == "5";
    if (level5 && socksAuthentication_ == socksAuthenticateUsercode &&
        (socksUsercode_.size() > kLongestField || socksPassword_.size() > kLongestField)) {
        why = "socks user code or password too long";
        return false;
    }
    if (!level5 && socksUsercode_.size() > kLongestField) {
        why = "socks user code too long";
        return false;
    }
    if ((level5 || socksLevel_ == "4A") && Addr().size() > kLongestField) {
        why = "socks destination name too long";
        return false;
    }
    return true;
}

void TCustomSocksWSocket::SendBytes(const std::string& bytes)
{
    // A failure to send shows as the closed connection that follows it.
    try {
        TCustomWSocket::Send(bytes.data(), static_cast<int>(bytes.size()));
    } catch (...) {}
}

void TCustomSocksWSocket::SendMethodOffer()
{
    authOffered_ = socksAuthentication_ == socksAuthenticateUsercode;
    std::string offer;
    offer += static_cast<char>(kSocks5Version);
    offer += static_cast<char>(1);
    offer += static_cast<char>(authOffered_ ? kMethodUsercode : kMethodNone);
    SendBytes(offer);
}

void TCustomSocksWSocket::SendAuthentication()
{
    socksState_ = socksAuthenticate;
    reply_.clear();
    TriggerSocksAuthState(socksAuthStart);
    if (HSocket() < 0) return;  // the handler closed the socket
    std::string request;
    request += static_cast<char>(kAuthVersion);
    request += static_cast<char>(socksUsercode_.size());
    request += socksUsercode_;
    request += static_cast<char>(socksPassword_.size());
    request += socksPassword_;
    SendBytes(request);
}

void TCustomSocksWSocket::SendConnectRequest()
{
    socksState_ = socksConnect;
    reply_.clear();
    std::string request;
    if (socksLevel_ == "5") {
        request += static_cast<char>(kSocks5Version);
        request += static_cast<char>(kCommandConnect);
        request += '\0';
        if (const auto v6 = IPv6Destination(Addr())) {
            request += static_cast<char>(kAddressIpv6);
            request.append(reinterpret_cast<const char*>(v6->data()), v6->size());
        } else {
            request += static_cast<char>(kAddressName);
            request += static_cast<char>(Addr().size());
            request += Addr();
        }
        AppendPort(request, destPort_);
        SendBytes(request);
        return;
    }
    request += static_cast<char>(kSocks4Version);
    request += static_cast<char>(kCommandConnect);
    AppendPort(request, destPort_);
    if (socksLevel_ == "4") {
        std::uint32_t address = 0;
        try {
            address = WSocketResolveHost(Addr());
        } catch (const std::exception& e) {
            Fail(kSocksCannotResolve, std::string("ESocketException ") + e.what());
            return;
        }
        AppendAddress(request, address);
    } else {
        AppendAddress(request, 1);  // 0.0.0.1: the proxy resolves the name that follows
    }
    request += socksUsercode_;
    request += '\0';
    if (socksLevel_ == "4A") {
        request += Addr();
        request += '\0';
    }
    SendBytes(request);
}

// ---- the proxy's replies ------------------------------------------------------------------------

void TCustomSocksWSocket::HandleReadNotification(std::uint16_t error, bool forceLoop)
{
    if (!Negotiating()) {
        TCustomWSocket::HandleReadNotification(error, forceLoop);
        return;
    }
    Guarded([this] { ReadNegotiation(); });
}

void TCustomSocksWSocket::ReadNegotiation()
{
    const int room = kSocksReplyBufferSize - 1 - static_cast<int>(reply_.size());
    if (room <= 0) {
        Fail(kSocksFieldTooLong, "socks reply too long");
        return;
    }
    char fresh[kSocksReplyBufferSize];
    const int count = TCustomWSocket::DoRecv(fresh, room, false);
    if (count < 0) {
        if (LastError() == WSAEWOULDBLOCK) return;
        Fail(static_cast<std::uint16_t>(LastError()), "data receive error");
        return;
    }
    if (count == 0) {
        if (socksState_ == socksAuthenticate) TriggerSocksAuthState(socksAuthFailure);
        Fail(WSAECONNABORTED, "socks server closed the connection during negotiation");
        return;
    }
    reply_.append(fresh, static_cast<std::size_t>(count));
    switch (socksState_) {
    case socksNegociateMethods: HandleMethodReply(); break;
    case socksAuthenticate: HandleAuthReply(); break;
    case socksConnect:
        if (socksLevel_ == "5") HandleConnectReply5();
        else HandleConnectReply4();
        break;
    case socksData: break;
    }
}

void TCustomSocksWSocket::HandleMethodReply()
{
    if (socksLevel_ != "5") {
        Fail(kSocksLogicError, "TWSocket logic error");
        return;
    }
    if (Byte(reply_, 0) != kSocks5Version) {
        Fail(kSocksVersionError, "socks version error");
        return;
    }
    if (reply_.size() < 2) return;
    if (reply_.size() > 2) {
        Fail(kSocksLogicError, "too much data availaible");
        return;
    }
    const unsigned char method = Byte(reply_, 1);
    reply_.clear();
    if (method == kMethodNone) {
        if (authOffered_) TriggerSocksAuthState(socksAuthNotRequired);
        if (HSocket() >= 0) SendConnectRequest();
    } else if (method == kMethodUsercode && authOffered_) {
        SendAuthentication();
    } else {
        Fail(kSocksMethodNotAcceptable, "authentification method not acceptable");
    }
}

void TCustomSocksWSocket::HandleAuthReply()
{
    if (Byte(reply_, 0) != kAuthVersion) {
        Fail(kSocksVersionError, "socks version error");
        return;
    }
    if (reply_.size() > 2) {
        Fail(kSocksLogicError, "too much data availaible");
        return;
    }
    if (reply_.size() < 2) return;
    if (Byte(reply_, 1) != 0) {
        Fail(kSocksAuthFailed, "socks authentication failed");
        return;
    }
    TriggerSocksAuthState(socksAuthSuccess);
    if (HSocket() >= 0) SendConnectRequest();
}

void TCustomSocksWSocket::HandleConnectReply4()
{
    if (Byte(reply_, 0) != 0) {
        Fail(kSocksVersionError, "socks version error");
        return;
    }
    if (reply_.size() < 8) return;
    const unsigned char code = Byte(reply_, 1);
    switch (code) {
    case 90: Granted(8); return;
    case 91: Fail(kSocksRequestRejected, "request rejected or failed"); return;
    case 92: Fail(kSocksConnectionRefused, SocksErrorText(kSocksConnectionRefused)); return;
    case 93: Fail(kSocksAuthFailed, "authentification failed"); return;
    default: Fail(kSocksUnassigned, "unassigned error #" + std::to_string(code)); return;
    }
}

void TCustomSocksWSocket::HandleConnectReply5()
{
    if (Byte(reply_, 0) != kSocks5Version) {
        Fail(kSocksVersionError, "socks version error");
        return;
    }
    if (reply_.size() < 2) return;
    const unsigned char code = Byte(reply_, 1);
    if (code >= 1 && code <= 8) {
        const std::uint16_t error = static_cast<std::uint16_t>(kSocksReplyBase + code - 1);
        Fail(error, SocksErrorText(error));
        return;
    }
    if (code != 0) {
        Fail(kSocksUnassigned, "unassigned error #" + std::to_string(code));
        return;
    }
    if (reply_.size() < 5) return;
    const unsigned char type = Byte(reply_, 3);
    std::size_t length = 0;
    if (type == kAddressIpv4) {
        length = 10;
    } else if (type == kAddressName) {
        length = 7 + Byte(reply_, 4);
    } else if (type == kAddressIpv6) {
        length = 22;
    } else {
        Fail(kSocksAddressNotSupported, SocksErrorText(kSocksAddressNotSupported));
        return;
    }
    if (length > static_cast<std::size_t>(kSocksReplyBufferSize - 1)) {
        Fail(kSocksFieldTooLong, "socks reply too long");
        return;
    }
    if (reply_.size() < length) return;
    if (type == kAddressIpv4) {
        std::uint32_t address = 0;
        for (std::size_t i = 4; i < 8; ++i) address = (address << 8) | Byte(reply_, i);
        boundAddr_ = DottedAddress(address);
    } else if (type == kAddressIpv6) {
        IPv6Bytes bound{};
        for (std::size_t i = 0; i < bound.size(); ++i) bound[i] = Byte(reply_, 4 + i);
        boundAddr_ = FormatIPv6(bound);
    } else {
        boundAddr_ = reply_.substr(5, Byte(reply_, 4));
    }
    boundPort_ = std::to_string((Byte(reply_, length - 2) << 8) | Byte(reply_, length - 1));
    Granted(length);
}

void TCustomSocksWSocket::Granted(std::size_t replyLength)
{
    held_ = reply_.substr(replyLength);
    reply_.clear();
    socksState_ = socksData;
    TriggerSessionConnected(0);
    // What came behind the reply is the destination's, and reaches the application first.
    if (HSocket() >= 0 && State() == wsConnected && !held_.empty()) HandleReadNotification(0, false);
}

void TCustomSocksWSocket::Fail(std::uint16_t error, const std::string& msg)
{
    TriggerSocksError(error, msg);
    socksState_ = socksData;
    TriggerSessionConnected(error);
    SetLastError(error);
    InternalClose(false, error);
}

// ---- receiving the destination's bytes ----------------------------------------------------------

int TCustomSocksWSocket::DoRecv(void* buffer, int len, bool peek)
{
    if (held_.empty() || Negotiating() || len <= 0) return TCustomWSocket::DoRecv(buffer, len, peek);
    const int count = std::min(len, static_cast<int>(held_.size()));
    std::memcpy(buffer, held_.data(), static_cast<std::size_t>(count));
    if (!peek) held_.erase(0, static_cast<std::size_t>(count));
    return count;
}

int TCustomSocksWSocket::GetRcvdCount()
{
    const int ready = TCustomWSocket::GetRcvdCount();
    if (held_.empty()) return ready;
    return static_cast<int>(held_.size()) + std::max(ready, 0);
}

// ---- events -------------------------------------------------------------------------------------

void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t error)
{
    if (socksState_ == socksAuthenticate) TriggerSocksAuthState(socksAuthFailure);
    socksState_ = socksData;
    TCustomWSocket::TriggerSessionClosed(error);
}

void TCustomSocksWSocket::TriggerDataSent(std::uint16_t error)
{
    // The negotiation's own requests are no business of the application.
    if (!Negotiating()) TCustomWSocket::TriggerDataSent(error);
}

void TCustomSocksWSocket::TriggerSocksConnected(std::uint16_t error)
{
    if (OnSocksConnected) OnSocksConnected(this, error);
}

void TCustomSocksWSocket::TriggerSocksError(std::uint16_t error, const std::string& msg)
{
    if (OnSocksError) OnSocksError(this, error, msg);
}

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState authState)
{
    if (OnSocksAuthState) OnSocksAuthState(this, authState);
}

}  // namespace corvane
