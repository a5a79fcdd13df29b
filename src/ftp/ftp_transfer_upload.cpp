// TFtpServer: the receiving direction of a data connection (STOR, APPE, STOU). Each
// data-available event receives one block and writes it at once; the file is opened at the
// first block, denying other writers, so two uploads of one file never interleave in it.
#include "ftp/ftp_server.h"
#include "ftp/ftp_transfer_block.h"
#include "ftp/ftp_transfer_file_stream.h"
#include "platform/fs.h"

namespace corvane {

void TFtpServer::ClientStorSessionConnected(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    client->DataChannel().Apply(TFtpDataChannel::Event::Connected);
    try {
        TriggerStorSessionConnected(client, data, error);
    } catch (...) {
        // The owner's failure does not stop the upload.
    }
    if (error == 0) return;
    // No connection: the upload ends here as a data connection closed with that error, and the
    // socket's own close must not end it a second time.
    DetachDataHandlers(data);
    try {
        data->Abort();
    } catch (...) {}
    ClientStorSessionClosed(client, data, error);
}

void TFtpServer::OpenUploadFile(TFtpCtrlSocket* client)
{
    FileStream::Mode mode = FileStream::Mode::ReadWrite;  // the existing file, written from the offset on
    if (client->DataChannel().Command() == ftpcAPPE && fs::RealFileExists(client->Transfer().LocalFilePath))
        mode = FileStream::Mode::ReadWrite;
    else if (client->Transfer().RestartOffset < 1) mode = FileStream::Mode::Create;  // an existing file is emptied
    std::string reason;
    auto file = OpenTransferFile(client->Transfer().LocalFilePath, mode, client->Transfer().RestartOffset, reason);
    if (!file) throw FtpServerException(reason);
    client->SetEngineStream(std::move(file));
}

void TFtpServer::ClientStorDataAvailable(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    int size = 0;
    char* buf = TransferBlock(client, kMinUploadBlock, size);
    const int count = data->Receive(buf, size);
    if (count <= 0 || client->AbortingTransfer()) return;  // an aborted upload drops what still comes
    try {
        TriggerStorDataAvailable(client, data, buf, count, error);
        if (!client->DataChannel().DataConnected()) return;  // the owner ended the transfer or the client meanwhile
        if (client->Transfer().StreamOwner == TFtpStreamOwner::Owner && !client->Transfer().LocalFilePath.empty() &&
            !client->Transfer().Stream)
            OpenUploadFile(client);
        if (client->Transfer().Stream) {
            client->Transfer().TransferredBytes += count;
            std::iostream& target = *client->Transfer().Stream;
            target.write(buf, count);
            if (!target) throw FtpServerException(TransferStreamErrorText(target, "Write error"));
        }
    } catch (const std::exception& e) {
        client->Transfer().Message = e.what();
        client->SetAbortingTransfer(true);
        PostClientEvent(TFtpPostedEvent::AbortTransfer, client);
    }
}

void TFtpServer::ClientStorSessionClosed(TFtpCtrlSocket* client, TWSocket* data, std::uint16_t error)
{
    // An upload without a single byte still stores its (empty) file, as a larger one would.
    if (error == 0 && !client->AbortingTransfer() && client->Transfer().StreamOwner == TFtpStreamOwner::Owner &&
        !client->Transfer().Stream && !client->Transfer().LocalFilePath.empty()) {
        try {
            OpenUploadFile(client);
        } catch (const std::exception& e) {
            client->Transfer().Message = e.what();
            client->SetAbortingTransfer(true);
        }
    }
    CommonDataSessionClosed(client);
    if (client->Transfer().StreamOwner == TFtpStreamOwner::Engine && client->Transfer().Stream) {
        client->Transfer().Stream->flush();
        if (!*client->Transfer().Stream && !client->AbortingTransfer()) {
            client->Transfer().Message = TransferStreamErrorText(*client->Transfer().Stream, "Write error");
            client->SetAbortingTransfer(true);
        }
    }
    client->DropEngineStream();
    try {
        TriggerStorSessionClosed(client, data, error);
    } catch (...) {
        // The upload has ended either way.
    }
    client->Transfer().Finish();
    std::string reply;
    if (client->AbortingTransfer()) reply = "426 Connection closed; " + client->Transfer().Message + ".";
    else if (error != 0) reply = "426 Connection closed; transfer aborted. Error #" + std::to_string(error);
    else if (client->DataChannel().Command() == ftpcSTOU)
        reply = "250 '" + client->Transfer().RequestedFileName + "': file created.";
    else reply = "226 File received ok";
    SendAnswer(client, reply);
    if (data->State() != wsClosed) CloseDataSilently(client);
}

}  // namespace corvane
