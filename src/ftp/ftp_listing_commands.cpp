// TFtpServer: LIST and NLST. A listing travels exactly like a download: the same data
// connection rules, the same block-by-block sending and the same end-of-transfer replies; only
// its source is an in-memory stream (or the owner's own stream, or the owner's cached copy).
#include "ftp/ftp_server.h"

#include <functional>
#include <memory>
#include <sstream>

#include "ftp/ftp_listing.h"
#include "ftp/ftp_paths.h"
#include "ftp/ftp_stream_capability.h"

namespace corvane {
namespace {

std::streamoff StreamSize(std::iostream& stream)
{
    stream.clear();
    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    stream.seekg(0, std::ios::beg);
    return size < 0 ? 0 : size;
}

// The owner's cached copy is rewritten from its start as the listing goes out; a copy that can
// be resized is cut to the listing's size first, so no byte of a longer earlier listing stays
// behind.
void SizeCacheStream(const TFtpStream& cache, std::streamoff size)
{
    if (TFtpStreamCapability* capability = CapabilityOf(*cache)) capability->Resize(size);
}

// The engine's own listing stream, unless the owner serves the listing from its cached copy;
// `build` writes the listing, the owner's alteration runs through `alter`.
void PrepareEngineListing(TFtpCtrlSocket* client, const std::string& params,
                          const std::function<void(std::ostream&)>& build,
                          const std::function<void(std::string&)>& alter)
{
    auto listing = std::make_shared<TFtpMemoryStream>();
    client->SetEngineStream(listing);
    if (!client->Transfer().CachedCopy.Serves()) build(*listing);
    std::string directory = params;
    alter(directory);
    // The handler may have put a stream of its own in place.
    if (!client->Transfer().Stream) throw FtpServerException("No listing to send");
    const std::streamoff size = StreamSize(*client->Transfer().Stream);
    client->Transfer().CachedCopy.MoveTo(0);
    if (client->Transfer().CachedCopy.Fills()) SizeCacheStream(client->Transfer().CachedCopy.Copy(), size);
    client->Transfer().ListedDirectory = client->Directory();
}

}  // namespace

void TFtpServer::CommandDirectory(TFtpCtrlSocket* client, std::string& params, bool detailed, std::string& answer)
{
    // A stream left from an earlier transfer would be sent again.
    client->Transfer().Stream.reset();
    client->Transfer().StreamOwner = TFtpStreamOwner::Owner;
    try {
        params = ToBackslashes(params);
        TriggerBuildDirectory(client, params, detailed);
        if (!client->Transfer().Stream && MachineListingRefused(client, params, answer)) {
            client->DataChannel().Apply(TFtpDataChannel::Event::TransferRefused);
            return;
        }
        if (!client->Transfer().Stream)
            PrepareEngineListing(
                client, params, [&](std::ostream& out) { BuildListingFor(client, params, out, detailed); },
                [&](std::string& directory) { TriggerAlterDirectory(client, directory, detailed); });
        client->Transfer().LocalFilePath.clear();
        answer = "150 Opening data connection for directory list.";
        DoStartSendData(client);
    } catch (const std::exception& e) {
        client->DataChannel().Apply(TFtpDataChannel::Event::TransferRefused);
        client->DropEngineStream();
        answer = std::string("451 Failed: ") + e.what() + ".";
        TriggerTransferFailedBeforeSending(client);
        client->Transfer().Finish();
    }
}

void TFtpServer::CommandLIST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcLIST);
    if (!BeginTransfer(client, ftpcLIST, answer)) return;
    CommandDirectory(client, params, true, answer);
}

void TFtpServer::CommandNLST(TFtpCtrlSocket* client, std::string& /*keyword*/, std::string& params, std::string& answer)
{
    if (!CheckLoggedIn(client, answer)) return;
    client->SetCurrentCommand(ftpcNLST);
    if (!BeginTransfer(client, ftpcNLST, answer)) return;
    CommandDirectory(client, params, false, answer);
}

}  // namespace corvane
