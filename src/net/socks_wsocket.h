// TCustomSocksWSocket: the SOCKS client layer of the socket, between TCustomWSocket and the line
// layer. Owner thread: as TCustomWSocket.
//
// With SocksServer empty the layer is transparent. With it set, Connect opens the connection to
// the proxy, negotiates SOCKS 4, 4A or 5 (with RFC 1929 user code and password when asked), and
// only then fires OnSessionConnected(0); from then on the connection carries the application's
// data unchanged. Bytes that arrive behind the proxy's reply are the destination's: they are
// held and handed to the application first, through the usual OnDataAvailable (and line mode).
// A failed negotiation fires OnSocksError(code, text), OnSessionConnected(code) and
// OnSessionClosed(code), with a code of the 20001-20017 family (socks_errors.h).
// SocksServer, SocksPort and SocksLevel are reset at every close, so a client that uses a proxy
// sets them again before each Connect.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/custom_wsocket.h"

namespace corvane {

enum TSocksState { socksData, socksNegociateMethods, socksAuthenticate, socksConnect };
enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

class TCustomSocksWSocket : public TCustomWSocket {
public:
    using TSocksErrorEvent = std::function<void(TCustomWSocket* sender, std::uint16_t error, const std::string& msg)>;
    using TSocksAuthStateEvent = std::function<void(TCustomWSocket* sender, TSocksAuthState authState)>;

    // The proxy's replies are read into a buffer of this size; one that needs more fails.
    static constexpr int kSocksReplyBufferSize = 128;

    using TCustomWSocket::TCustomWSocket;

    const std::string& SocksServer() const { return socksServer_; }
    virtual void SetSocksServer(const std::string& value);
    const std::string& SocksPort() const { return socksPort_; }
    virtual void SetSocksPort(const std::string& value);
    // "4", "4A" or "5"; "4a" is stored as "4A".
    const std::string& SocksLevel() const { return socksLevel_; }
    void SetSocksLevel(const std::string& value);
    const std::string& SocksUsercode() const { return socksUsercode_; }
    void SetSocksUsercode(const std::string& value) { socksUsercode_ = value; }
    const std::string& SocksPassword() const { return socksPassword_; }
    void SetSocksPassword(const std::string& value) { socksPassword_ = value; }
    TSocksAuthentication SocksAuthentication() const { return socksAuthentication_; }
    void SetSocksAuthentication(TSocksAuthentication value) { socksAuthentication_ = value; }
    TSocksState SocksState() const { return socksState_; }
    // What a version 5 proxy reported as the address and port it connected from.
    const std::string& BoundAddr() const { return boundAddr_; }
    const std::string& BoundPort() const { return boundPort_; }

    void Connect() override;
    void Listen() override;
    int GetRcvdCount() override;

    TSessionEvent OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

protected:
    void AssignDefaultValue() override;
    void TriggerSessionConnectedSpecial(std::uint16_t error) override;
    void TriggerSessionClosed(std::uint16_t error) override;
    void TriggerDataSent(std::uint16_t error) override;
    void HandleReadNotification(std::uint16_t error, bool forceLoop) override;
    int DoRecv(void* buffer, int len, bool peek) override;
    std::string ConnectHostText() const override;
    std::string ConnectPortText() const override;
    virtual void TriggerSocksConnected(std::uint16_t error);
    virtual void TriggerSocksError(std::uint16_t error, const std::string& msg);
    virtual void TriggerSocksAuthState(TSocksAuthState authState);
    bool Negotiating() const { return socksState_ != socksData; }

private:
    bool UsingSocks() const { return !socksServer_.empty(); }
    bool FieldsFit(std::string& why) const;
    void SendBytes(const std::string& bytes);
    void SendMethodOffer();
    void SendAuthentication();
    void SendConnectRequest();
    void ReadNegotiation();
    void HandleMethodReply();
    void HandleAuthReply();
    void HandleConnectReply4();
    void HandleConnectReply5();
    void Granted(std::size_t replyLength);
    void Fail(std::uint16_t error, const std::string& msg);

    std::string socksServer_, socksPort_, socksLevel_ = "5";
    std::string socksUsercode_, socksPassword_;
    TSocksAuthentication socksAuthentication_ = socksNoAuthentication;
    TSocksState socksState_ = socksData;
    bool authOffered_ = false;
    int destPort_ = 0;
    std::string reply_;  // the proxy's reply so far (at most kSocksReplyBufferSize bytes)
    std::string held_;   // the destination's bytes that came behind the reply
    std::string boundAddr_, boundPort_;
};

}  // namespace corvane
