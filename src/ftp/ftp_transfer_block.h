// The block buffer of a file transfer, in both directions.
#pragma once

#include <algorithm>

#include "ftp/ftp_ctrl_socket.h"

namespace corvane {

// A transfer moves RcvSize bytes per block, but never fewer than this, so that a large file
// does not cost one turn of the loop per 8 KiB.
inline constexpr int kMinTransferBlock = 256 * 1024;

// The client's transfer block (allocated on first use, released when the transfer ends) and its
// size. The command buffer RcvBuf is not used: it may hold the start of the next command line.
inline char* TransferBlock(TFtpCtrlSocket* client, int& size)
{
    size = std::max(client->RcvSize(), kMinTransferBlock);
    std::vector<char>& block = client->TransferState.block;
    if (block.size() < static_cast<std::size_t>(size)) block.resize(static_cast<std::size_t>(size));
    return block.data();
}

}  // namespace corvane
