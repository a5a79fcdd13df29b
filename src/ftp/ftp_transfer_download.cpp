// TFtpServer: the sending direction of a data connection (RETR, and the listings of LIST and
// NLST): the file or stream is read block by block, and the next block is read only when the
// data socket has handed the previous one to the stack, so one block is in flight at a time
// and a slow client slows the reading. A file whose bytes no cached copy needs to see goes from
// the file straight to the socket, block by block all the same; the owner sees the same events.
// A cached copy that lends its bytes (LendableBytes) is sent from its own memory: when served,
// straight from the copy; when filled, the file is read into the copy's room and sent from
// there, so the bytes are never copied into a block or the socket's queue.
#include <algorithm>

#include "common/lendable_bytes.h"
#include "ftp/ftp_server.h"
#include "ftp/ftp_transfer_block.h"
#include "ftp/ftp_transfer_file_stream.h"

namespace corvane {
namespace {

// The next block of a download into `buf`, from the owner's cached copy when it is served, or
// from the transfer stream, copied into the cached copy as it goes when that is filled. 0 at the
// end, or without either stream.
std::streamsize ReadNextBlock(TFtpCtrlSocket& client, char* buf, int size)
{
    std::streamsize count = 0;
    CacheTransfer& copy = client.Transfer().CachedCopy;
    if (copy.Serves()) {
        std::iostream& cache = *copy.Copy();
        cache.clear();
        if (!cache.seekg(copy.Position())) throw FtpServerException("Cannot read the cached copy");
        cache.read(buf, size);
        count = cache.gcount();
        if (cache.bad()) throw FtpServerException(TransferStreamErrorText(cache, "Cannot read the cached copy"));
        copy.Advance(count);
    } else if (client.Transfer().Stream) {
        std::iostream& source = *client.Transfer().Stream;
        source.clear();
        source.read(buf, size);
        count = source.gcount();
        if (source.bad()) throw FtpServerException(TransferStreamErrorText(source, "Read error"));
        if (copy.Fills() && count > 0) {
            std::iostream& cache = *copy.Copy();
            cache.clear();
            cache.seekp(copy.Position());
            cache.write(buf, count);
            if (!cache) throw FtpServerException("Cannot write the cached copy");
            copy.Advance(count);
        }
    }
    return count;
}

// The file behind the transfer stream when its bytes may go from the file straight to the socket:
// the stream offers its file, and no cached copy is served or filled, so nothing here needs to
// see them.
const FileStream* FileToSendDirectly(TFtpCtrlSocket& client, TWSocket& data)
{
    if (client.Transfer().CachedCopy.InUse()) return nullptr;
    if (data.SendFlags() != wsSendNormal || !client.Transfer().Stream) return nullptr;
    const TFtpStreamCapability* capability = CapabilityOf(*client.Transfer().Stream);
    return capability != nullptr ? capability->SendableFile() : nullptr;
}

// The next block of the file, handed to the socket to send from the file itself; the stream moves
// past it, as a read would have. False at the end of the file.
bool SendFileBlock(TFtpCtrlSocket& client, TWSocket& data, std::iostream& stream, const FileStream& file)
{
    stream.clear();
    const std::streamoff position = stream.tellg();
    const std::int64_t size = file.Size();
    if (position < 0 || size < 0) throw FtpServerException(TransferStreamErrorText(stream, "Read error"));
    const long long block = DownloadBlockSize(&client, kMinDownloadBlock);
    const long long count = std::min<long long>(block, size - position);
    if (count <= 0) return false;
    if (!stream.seekg(position + count)) throw FtpServerException(TransferStreamErrorText(stream, "Seek error"));
    client.Transfer().Engine.fileBlock = count;
    client.Transfer().TransferredBytes += count;
    data.SendFile(file.Handle(), position, count);
    return true;
}

// The owner's cached copy when the block goes from its memory: it is served or filled and
// lends its bytes, and the socket sends plainly.
LendableBytes* LendingCopy(TFtpCtrlSocket& client, TWSocket& data)
{
    if (!client.Transfer().CachedCopy.InUse() || data.SendFlags() != wsSendNormal) return nullptr;
    return LendableBytesOf(*client.Transfer().CachedCopy.Copy());
}

// Hands `count` bytes of the cached copy from `bytes` on to the socket, which keeps the copy
// alive until they have gone (also when the cache lets the entry go meanwhile).
void SendHeldBlock(TFtpCtrlSocket& client, TWSocket& data, const char* bytes, long long count)
{
    client.Transfer().Engine.fileBlock = count;
    client.Transfer().TransferredBytes += count;
    client.Transfer().CachedCopy.Advance(count);
    data.SendHeld(client.Transfer().CachedCopy.Copy(), bytes, count);
}

// The next block sent from the cached copy's memory; false at the end of the data, and also when
// the block cannot be lent (`lent` false: the caller sends it the plain way).
bool SendFromCopy(TFtpCtrlSocket& client, TWSocket& data, LendableBytes& copy, bool& lent)
{
    lent = true;
    const long long block = DownloadBlockSize(&client, kMinHeldBlock);
    const std::int64_t position = client.Transfer().CachedCopy.Position();
    if (client.Transfer().CachedCopy.Serves()) {
        const std::span<const char> bytes = copy.BytesFrom(position);
        if (bytes.empty()) return false;
        SendHeldBlock(client, data, bytes.data(), std::min<long long>(block, static_cast<long long>(bytes.size())));
        return true;
    }
    // Filled: the file is read into the copy's room. Past the room (a file that grew), the
    // block goes the plain way, whose write into the copy marks it overflowed.
    const std::span<char> room = copy.RoomAt(position, block);
    if (room.empty() || !client.Transfer().Stream) {
        lent = false;
        return false;
    }
    std::iostream& source = *client.Transfer().Stream;
    source.clear();
    source.read(room.data(), static_cast<std::streamsize>(room.size()));
    const std::streamsize count = source.gcount();
    if (source.bad()) throw FtpServerException(TransferStreamErrorText(source, "Read error"));
    if (count <= 0) return false;
    copy.Written(position, count);
    SendHeldBlock(client, data, room.data(), count);
    return true;
}

// A block sent from the file or the cached copy counts what the socket handed to the stack: the
// file may have been cut short meanwhile, or the connection may have gone before the whole block
// was out.
void SettleFileBlock(TFtpCtrlSocket& client, const TWSocket& data)
{
    long long& block = client.Transfer().Engine.fileBlock;
    if (block <= 0) return;
    client.Transfer().TransferredBytes -= block - std::min(block, data.FileBytesSent());
    block = 0;
}

// Hands the next block to the socket in the cheapest way open to it; false at the end of the data.
bool SendNextBlock(TFtpCtrlSocket& client, TWSocket& data)
{
    if (const FileStream* file = FileToSendDirectly(client, data))
        return SendFileBlock(client, data, *client.Transfer().Stream, *file);
    if (LendableBytes* copy = LendingCopy(client, data)) {
        bool lent = false;
        const bool sent = SendFromCopy(client, data, *copy, lent);
        if (lent) return sent;
    }
    const int size = DownloadBlockSize(&client, kMinDownloadBlock);
    char* buf = SizedTransferBlock(&client, size);
    const std::streamsize count = ReadNextBlock(client, buf, size);
    if (count <= 0) return false;
    client.Transfer().TransferredBytes += count;
    data.Send(buf, static_cast<int>(count));
    return true;
}

}  // namespace

void TFtpServer::FailDownload(TFtpCtrlSocket* client, const std::string& reason)
{
    client->Transfer().Message = reason;
    client->SetAbortingTransfer(true);
    PostClientEvent(TFtpPostedEvent::AbortTransfer, client);
}

void TFtpServer::ClientRetrSessionConnected(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    if (error == 0) client->DataChannel().Apply(TFtpDataChannel::Event::Connected);
    try {
        TriggerRetrSessionConnected(client, data, error);
        if (error == 0 && !client->DataChannel().DataConnected()) return;  // the owner ended the client meanwhile
        if (error != 0) throw FtpServerException("Client data socket connection error: " + std::to_string(error));
        if (client->Transfer().StreamOwner == TFtpStreamOwner::Owner && !client->Transfer().LocalFilePath.empty() &&
            !client->Transfer().Stream) {
            if (!client->Transfer().CachedCopy.Serves()) {
                // Shared with every other reader and writer of the file.
                std::string reason;
                auto file = OpenTransferFile(client->Transfer().LocalFilePath, FileStream::Mode::Read,
                                             client->Transfer().RestartOffset, reason);
                if (!file) throw FtpServerException(reason);
                client->SetEngineStream(std::move(file));
            }
            client->Transfer().CachedCopy.MoveTo(client->Transfer().RestartOffset);
            client->Transfer().RetrFilePath = client->Transfer().LocalFilePath;
        }
        client->Transfer().TransferredBytes = 0;
        client->Transfer().Engine.fileBlock = 0;
        SendNextDataChunk(client, data);
    } catch (const std::exception& e) {
        FailDownload(client, e.what());
    }
}

void TFtpServer::SendNextDataChunk(TFtpCtrlSocket* client, TWSocket* data)
{
    loop_->AssertOwnerThread();
    try {
        if (SendNextBlock(*client, *data)) return;
        if (client->Transfer().DataExhausted) return;
        client->Transfer().DataExhausted = true;
        PostClientEvent(TFtpPostedEvent::CloseData, client);
    } catch (const std::exception& e) {
        FailDownload(client, e.what());
    }
}

void TFtpServer::ClientRetrDataSent(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    SettleFileBlock(*client, *data);
    if (client->AbortingTransfer() || !client->DataChannel().DataConnected()) return;
    try {
        TriggerRetrDataSent(client, data, error);
        if (!client->DataChannel().DataConnected()) return;  // the owner ended the transfer or the client meanwhile
        if (error != 0) throw FtpServerException("Send: error #" + std::to_string(error));
        ContinueDownload(client, data);
    } catch (const std::exception& e) {
        client->Transfer().Message = e.what();
        client->SetAbortingTransfer(true);
        SendAnswer(client, "426 Connection closed; " + client->Transfer().Message + ".");
        PostClientEvent(TFtpPostedEvent::AbortTransfer, client);
    }
}

void TFtpServer::ContinueDownload(TFtpCtrlSocket* client, TWSocket* data)
{
    const int holdMs = client->Transfer().HoldNextBlockMs;
    client->Transfer().HoldNextBlockMs = -1;
    if (holdMs < 0) {
        SendNextDataChunk(client, data);
        return;
    }
    // The block waits on a timer of the loop, not in a nested wait: everyone else is served
    // meanwhile. The timer finds the client again by number, so a client that has gone (or a
    // transfer that has ended and cancelled it) is never touched.
    const long long number = client->ClientNumber();
    std::weak_ptr<bool> alive = alive_;
    TFtpTransferState& state = client->Transfer().Engine;
    state.CancelBlockTimer();
    state.blockTimerLoop = loop_;
    state.blockTimer = loop_->AddOneShot(std::chrono::milliseconds(holdMs), [this, alive, number] {
        auto token = alive.lock();
        if (!token || !*token) return;
        TFtpCtrlSocket* held = FindClientByNumber(number);
        if (held == nullptr) return;
        held->Transfer().Engine.blockTimer = 0;
        held->Transfer().Engine.blockTimerLoop = nullptr;
        if (!held->DataChannel().DataConnected() || held->AbortingTransfer()) return;
        SendNextDataChunk(held, held->DataWSocket());
    });
}

void TFtpServer::ClientRetrSessionClosed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    const bool connected = client->DataChannel().DataConnected();
    SettleFileBlock(*client, *data);
    CommonDataSessionClosed(client);
    client->DropEngineStream();
    std::string reply;
    if (client->AbortingTransfer()) reply = "501 Cannot RETR. " + client->Transfer().Message;
    else if (error != 0) reply = "501 Cannot RETR. Error #" + std::to_string(error);
    else if (!client->Transfer().DataExhausted && connected)
        // The client hung up before the end of the data: that is no successful transfer.
        reply = "501 Cannot RETR. Data connection closed by the client before the end of the data";
    else reply = "226 File sent ok";
    SendAnswer(client, reply);
    try {
        TriggerRetrSessionClosed(client, data, error);
    } catch (...) {
        // The transfer has ended either way; the owner's failure changes nothing of it.
    }
    client->Transfer().Finish();
    // Still open when the control connection went first (error 10057) or the peer hung up.
    if (data->State() != wsClosed) CloseDataSilently(client);
}

}  // namespace corvane
