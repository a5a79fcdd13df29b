// TFtpServer: the transfer commands RETR, STOR, APPE, STOU, REST and ABOR. PORT and PASV are
// with the data connection (ftp_data_connection.cpp).
#include <cctype>
#include <limits>
#include <random>

#include "common/path_text.h"
#include "ftp/ftp_paths.h"
#include "ftp/ftp_server.h"
#include "platform/file_stream.h"
#include "platform/fs.h"

namespace corvane {
namespace {

constexpr char kAbortRequested[] = "ABORT requested by client";

// REST's offset: an optional sign and decimal digits after optional blanks, 64-bit.
bool ParseOffset(const std::string& text, long long& value)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos == text.size()) return false;
    unsigned long long magnitude = 0;
    const unsigned long long limit = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    for (; pos < text.size(); ++pos) {
        if (std::isdigit(static_cast<unsigned char>(text[pos])) == 0) return false;
        magnitude = magnitude * 10 + static_cast<unsigned long long>(text[pos] - '0');
        if (magnitude > limit) return false;
    }
    value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

std::string FourHexDigits(unsigned value)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kHex[value & 0xF];
    return text;
}

// The full path "<folder>FTPnnnn": "FTP" and the number's four hexadecimal digits, one of the
// folder's round of 65,536 unique names.
std::string NumberedUniqueName(const std::string& folder, unsigned number)
{
    return folder + "FTP" + FourHexDigits(number & 0xFFFF);
}

// The first name of the folder, from a random one on, under which neither an upload nor a
// reservation exists: nothing is created, so a refused STOU can be refused before the disk
// is touched.
std::string FreeUniqueFileName(const std::string& directory)
{
    const std::string folder = AddTrailingBackslash(directory);
    static std::minstd_rand next(std::random_device{}());
    const unsigned first = static_cast<unsigned>(next()) & 0xFFFF;
    for (unsigned i = 0; i <= 0xFFFF; ++i) {
        const std::string base = NumberedUniqueName(folder, first + i);
        if (!fs::RealFileExists(base) && !fs::RealFolderExists(base) && !fs::RealFileExists(base + ".TMP")) return base;
    }
    throw FtpServerException("Cannot create a unique file in " + folder + ": no free name");
}

// Reserves the name `base` (a name FreeUniqueFileName gave), or the next free one when another
// upload took it meanwhile: creates the empty file base + ".TMP", which stays as the
// reservation, and returns the full path without the extension, the name under which the
// upload is stored.
std::string ReserveUniqueFileName(const std::string& base)
{
    const std::size_t digits = base.size() - 4;
    const std::string folder = base.substr(0, digits - 3);
    const unsigned first = static_cast<unsigned>(std::stoul(base.substr(digits), nullptr, 16));
    for (unsigned i = 0; i <= 0xFFFF; ++i) {
        const std::string name = NumberedUniqueName(folder, first + i);
        if (fs::RealFileExists(name) || fs::RealFolderExists(name)) continue;
        FileStream reservation;
        if (reservation.OpenReal(name + ".TMP", FileStream::Mode::CreateNew)) return name;
        if (fs::LastFsError() != fs::FsError::AlreadyExists)
            throw FtpServerException("Cannot create a unique file in " + folder + ": " +
                                     fs::FsErrorText(fs::LastFsError()));
    }
    throw FtpServerException("Cannot create a unique file in " + folder + ": no free name");
}

}  // namespace

bool TFtpServer::BeginTransfer(TFtpCtrlSocket* client, TFtpCommandId command, std::string& answer)
{
    if (!client->DataChannel().AcceptTransfer(command)) {
        answer = "425 Transfer already in progress.";
        return false;
    }
    client->Transfer().TransferredBytes = 0;
    return true;
}

void TFtpServer::CommandRETR(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcRETR);
    if (!BeginTransfer(client, ftpcRETR, answer)) return;
    client->Transfer().StreamOwner = TFtpStreamOwner::Owner;
    try {
        client->Transfer().RequestedFileName = ToBackslashes(params);
        std::string path = ResolveClientPath(client->Directory(), client->Transfer().RequestedFileName).real;
        bool allowed = true;
        TriggerValidateGet(client, path, allowed);
        if (!allowed) {
            client->DataChannel().Apply(TFtpDataChannel::Event::TransferRefused);
            answer = "500 Cannot RETR.";
            return;
        }
        client->Transfer().LocalFilePath = path;
        answer = "150 Opening data connection for " + params + ".";
        bool delayedSend = false;
        TriggerGetProcessing(client, delayedSend);
        if (!delayedSend) DoStartSendData(client);
    } catch (const std::exception& e) {
        client->DataChannel().Apply(TFtpDataChannel::Event::TransferRefused);
        answer = std::string("501 Cannot RETR. ") + e.what();
    }
}

bool TFtpServer::PrepareUpload(TFtpCtrlSocket* client, const std::string& requestedName, std::string& path)
{
    client->Transfer().RequestedFileName = ToBackslashes(requestedName);
    client->Transfer().StreamOwner = TFtpStreamOwner::Owner;
    client->SetAbortingTransfer(false);
    client->Transfer().Message = "Transfer Ok";
    path = ResolveClientPath(client->Directory(), client->Transfer().RequestedFileName).real;
    bool allowed = true;
    TriggerValidatePut(client, path, allowed);
    if (!allowed) client->DataChannel().Apply(TFtpDataChannel::Event::TransferRefused);
    return allowed;
}

void TFtpServer::CommandSTOR(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcSTOR);
    if (!BeginTransfer(client, ftpcSTOR, answer)) return;
    bool opening = false;
    try {
        std::string path;
        if (!PrepareUpload(client, params, path)) {
            answer = "501 Permission Denied";
            return;
        }
        client->Transfer().LocalFilePath = path;
        opening = true;
        OpenUploadDataConnection(client);
        answer = "150 Opening data connection for " + params + ".";
    } catch (const std::exception& e) {
        if (opening) AbandonTransfer(client);
        client->DataChannel().Apply(TFtpDataChannel::Event::TransferRefused);
        answer = std::string("501 Cannot STOR. ") + e.what();
    }
}

void TFtpServer::CommandAPPE(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcAPPE);
    if (!BeginTransfer(client, ftpcAPPE, answer)) return;
    bool opening = false;
    try {
        std::string path;
        if (!PrepareUpload(client, params, path)) {
            answer = "500 Cannot APPE.";
            return;
        }
        client->Transfer().LocalFilePath = path;
        const auto existing = fs::StatReal(path);
        client->Transfer().RestartOffset = existing && !existing->isDirectory ? existing->size : 0;
        opening = true;
        OpenUploadDataConnection(client);
        answer = "150 APPE supported.  Ready to append file \"" + params + "\" at offset " +
                 std::to_string(client->Transfer().RestartOffset) + ".";
    } catch (const std::exception&) {
        if (opening) AbandonTransfer(client);
        client->DataChannel().Apply(TFtpDataChannel::Event::TransferRefused);
        client->Transfer().RestartOffset = 0;
        answer = "550 APPE failed.";
    }
}

void TFtpServer::CommandSTOU(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcSTOU);
    if (!BeginTransfer(client, ftpcSTOU, answer)) return;
    bool opening = false;
    try {
        std::string name;
        TriggerGetUniqueFileName(client, name);
        const bool reserve = name.empty() || fs::RealFileExists(ResolveClientPath(client->Directory(), name).real);
        if (reserve) name = FreeUniqueFileName(client->Directory());
        // The right is decided before the reservation touches the disk: every name of the
        // round lies in the same folder, so the decision holds for the name finally reserved.
        std::string path;
        if (!PrepareUpload(client, name, path)) {
            answer = "501 Permission Denied";
            return;
        }
        if (reserve) {
            const std::string reserved = ReserveUniqueFileName(name);
            if (reserved != name) {
                name = reserved;
                client->Transfer().RequestedFileName = ToBackslashes(name);
                path = ResolveClientPath(client->Directory(), client->Transfer().RequestedFileName).real;
            }
        }
        client->Transfer().LocalFilePath = path;
        opening = true;
        OpenUploadDataConnection(client);
        answer = "150 Opening data connection for " + name + ".";
    } catch (const std::exception& e) {
        if (opening) AbandonTransfer(client);
        client->DataChannel().Apply(TFtpDataChannel::Event::TransferRefused);
        answer = std::string("501 Cannot STOU. ") + e.what();
    }
}

void TFtpServer::CommandREST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcREST);
    long long offset = 0;
    if (!ParseOffset(params, offset)) {
        client->Transfer().RestartOffset = 0;
        answer = "501 Syntax error in parameter: '" + params + "' is not a valid integer value.";
        return;
    }
    if (offset < 0) {
        client->Transfer().RestartOffset = 0;
        answer = "501 Required byte offset parameter bad or missing.";
        return;
    }
    client->Transfer().RestartOffset = offset;
    answer = "350 REST supported. Ready to resume at byte offset " + std::to_string(offset) + ".";
}

void TFtpServer::CommandABOR(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& /*params*/,
                             std::string& answer)
{
    TWSocket* data = client->DataWSocket();
    const TFtpDataChannel& channel = client->DataChannel();
    if (channel.DataConnected() && data->State() == wsConnected) {
        client->Transfer().Message = kAbortRequested;
        client->SetAbortingTransfer(true);
        // The transfer's closed handler runs inside this close and sends its reply first.
        data->Close();
    } else if (channel.TransferRunning()) {
        CallOffTransfer(client);
    } else if (data->State() == wsConnected) {
        // The client's connection to the listener, with no transfer on it: nothing to abort but
        // the connection itself, and its port is free again.
        CloseDataSilently(client);
        client->DataChannel().Apply(TFtpDataChannel::Event::PassiveLost);
    }
    answer = "225 ABOR command successful.";
}

void TFtpServer::CallOffTransfer(TFtpCtrlSocket* client)
{
    // A transfer whose data connection is not up yet: a start still on its way, an active
    // connect in progress, a connection that waits for the start, or a listener that the client
    // has not reached. Left alone, it would start after ABOR had been answered as successful,
    // or (never reached) block every later transfer.
    TWSocket* data = client->DataWSocket();
    const TFtpCommandId command = client->DataChannel().Command();
    const bool upload = command == ftpcSTOR || command == ftpcAPPE || command == ftpcSTOU;
    // Either way the channel leaves its starting states, so a start on its way starts nothing.
    if (data->State() == wsListening && client->DataChannel().Apply(TFtpDataChannel::Event::CalledOff)) {
        // The listener stays open for the next transfer command, with its port.
        DetachDataHandlers(data);
        data->OnSessionAvailable = [this, client](TCustomWSocket*, std::uint16_t error) {
            ClientPassiveSessionAvailable(client, error);
        };
        client->Transfer().Engine.CancelBlockTimer();
    } else {
        AbandonTransfer(client);
    }
    client->DropEngineStream();
    client->Transfer().Finish();
    client->Transfer().Message = kAbortRequested;
    SendAnswer(client, upload ? std::string("426 Connection closed; ") + kAbortRequested + "."
                              : std::string("501 Cannot RETR. ") + kAbortRequested);
}

}  // namespace corvane
