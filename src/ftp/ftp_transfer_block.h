// The block buffer of a file transfer, in both directions.
#pragma once

#include <algorithm>

#include "ftp/ftp_ctrl_socket.h"

namespace corvane {

// A transfer moves RcvSize bytes per block, but never fewer than these, so that a large file
// does not cost one turn of the loop per 8 KiB. A download block is handed to the socket whole,
// and what the stack does not take at once is copied into the socket's send buffer: beyond what
// the stack takes, a bigger block only costs copies. A plain file's block, sent from the file
// itself, costs no memory, but larger ones measured no faster, and the owner's pacing holds the
// transfer block by block, so it has the same size. An upload block is one receive, which takes
// what has arrived, so a big one only saves turns of the loop.
inline constexpr int kMinDownloadBlock = 512 * 1024;
// A block sent from a cached copy's memory costs no memory either, and is never copied: it is
// handed to the stack in as few calls as it takes, so a larger one saves turns of the loop.
inline constexpr int kMinHeldBlock = 2 * 1024 * 1024;
inline constexpr int kMinUploadBlock = 1024 * 1024;

// The size of the client's next download block: the engine's size, unless the owner asked for
// smaller ones.
inline int DownloadBlockSize(const TFtpCtrlSocket* client, int engineSize)
{
    const int size = std::max(client->RcvSize(), engineSize);
    return client->Transfer().MaxDownloadBlock > 0 ? std::min(size, client->Transfer().MaxDownloadBlock) : size;
}

// The client's transfer block of at least `size` bytes (allocated on first use, released when
// the transfer ends). The command buffer RcvBuf is not used: it may hold the start of the next
// command line.
inline char* SizedTransferBlock(TFtpCtrlSocket* client, int size)
{
    std::vector<char>& block = client->Transfer().Engine.block;
    if (block.size() < static_cast<std::size_t>(size)) block.resize(static_cast<std::size_t>(size));
    return block.data();
}

// The transfer block of RcvSize bytes, but never fewer than `minimum`, and its size.
inline char* TransferBlock(TFtpCtrlSocket* client, int minimum, int& size)
{
    size = std::max(client->RcvSize(), minimum);
    return SizedTransferBlock(client, size);
}

}  // namespace corvane
