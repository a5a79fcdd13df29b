// THttpCli: the request header and the POST body.
#include "common/base64.h"
#include "common/ip_text.h"
#include "common/rfc1123_date.h"
#include "common/text_case.h"
#include "net/http_cli.h"

namespace corvane {
namespace {

const char* MethodName(THttpRequest request)
{
    switch (request) {
    case httpPOST: return "POST";
    case httpHEAD: return "HEAD";
    default: return "GET";
    }
}

}  // namespace

std::vector<std::string> THttpCli::RequestHeaderLines(const std::string& method)
{
    std::vector<std::string> lines;
    const auto add = [&](std::string line) {
        if (OnCommand) OnCommand(this, line);
        if (!line.empty()) lines.push_back(std::move(line));
    };
    const std::string target = Proxy.empty() ? target_.path : AbsoluteUrl(target_);
    add(method + " " + target + " HTTP/1.0");
    if (!Sender.empty()) add("From: " + Sender);
    if (!Accept.empty()) add("Accept: " + Accept);
    if (!Reference.empty()) add("Referer: " + Reference);
    if (!AcceptLanguage.empty()) add("Accept-Language: " + AcceptLanguage);
    if (request_ == httpPOST && !ContentTypePost.empty()) add("Content-Type: " + ContentTypePost);
    if (!Agent.empty()) add("User-Agent: " + Agent);
    add("Host: " + UrlHost(target_.host));
    if (NoCache) add("Pragma: no-cache");
    if (request_ == httpPOST) add("Content-Length: " + std::to_string(PostBytesLeft()));
    if (ModifiedSince != 0) add("If-Modified-Since: " + RFC1123_Date(ModifiedSince) + " GMT");
    // Credentials go only to the host they were given for, not to where it redirects.
    if (!Username.empty() && EqualsIgnoreCase(target_.host, credentialsHost_))
        add("Authorization: Basic " + EncodeStr(Username + ":" + Password));
    if (!Proxy.empty() && !ProxyUsername.empty())
        add("Proxy-Authorization: Basic " + EncodeStr(ProxyUsername + ":" + ProxyPassword));
    if (!Cookie.empty()) add("Cookie: " + Cookie);
    if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty())
        add("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
    return lines;
}

void THttpCli::SendRequestHeader()
{
    if (OnRequestHeaderBegin) OnRequestHeaderBegin(this);
    const std::string method = MethodName(request_);
    std::vector<std::string> lines = RequestHeaderLines(method);
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
    if (OnBeforeHeaderSend) OnBeforeHeaderSend(this, method, lines);
    std::string header;
    for (const std::string& line : lines) header += line + "\r\n";
    header += "\r\n";
    socket_->SendStr(header);
    if (OnRequestHeaderEnd) OnRequestHeaderEnd(this);
}

// What the stream holds from its position on: the body's length.
long long THttpCli::PostBytesLeft()
{
    std::istream& in = *PostStream;
    in.clear();
    const std::streampos here = in.tellg();
    if (here < 0) return 0;
    in.seekg(0, std::ios::end);
    const std::streampos end = in.tellg();
    in.seekg(here);
    return end > here ? static_cast<long long>(end - here) : 0;
}

void THttpCli::SendPostChunk()
{
    char chunk[kSendBufferSize];
    PostStream->read(chunk, sizeof chunk);
    const auto count = static_cast<int>(PostStream->gcount());
    if (count <= 0) {
        sendingBody_ = false;
        if (OnSendEnd) OnSendEnd(this);
        return;
    }
    sentCount_ += count;
    if (OnSendData) OnSendData(this, chunk, count);
    socket_->Send(chunk, count);
}

// The reply can begin before the socket reports the last chunk sent (a quick server): a body
// whose stream is exhausted by then has ended, and says so before the reply's first event.
void THttpCli::EndBodyBeforeReply()
{
    if (!sendingBody_ || PostStream == nullptr || PostBytesLeft() > 0) return;
    sendingBody_ = false;
    if (OnSendEnd) OnSendEnd(this);
}

}  // namespace corvane
