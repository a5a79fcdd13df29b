#include "p2p/file_digest.h"

#include "common/md5.h"
#include "p2p/index_lines.h"
#include "platform/file_stream.h"
#include "platform/fs.h"

namespace corvane {
namespace {

bool SameVersion(const fs::FileInfo& a, const fs::FileInfo& b)
{
    return a.size == b.size && a.mtime == b.mtime && a.mtimeNanoseconds == b.mtimeNanoseconds;
}

}  // namespace

std::string DigestOfRealFile(std::string_view realPath, std::vector<char>& buffer,
                             const std::function<bool()>& stopRequested)
{
    const auto before = fs::StatReal(realPath);
    if (!before || before->isDirectory || before->isSystem || buffer.empty()) return std::string(kNoDigest);
    FileStream file;
    if (!file.OpenReal(realPath, FileStream::Mode::Read)) return std::string(kNoDigest);
    Md5 md5;
    std::int64_t total = 0;
    for (;;) {
        const std::int64_t got = file.Read(buffer.data(), buffer.size());
        if (got < 0) return std::string(kNoDigest);
        if (got == 0) break;
        md5.Update(buffer.data(), static_cast<std::size_t>(got));
        total += got;
        if (stopRequested && stopRequested()) return {};
    }
    const auto after = fs::StatReal(realPath);
    if (!after || !SameVersion(*before, *after) || total != before->size) return std::string(kNoDigest);
    return Md5HexUpper(md5.Final());
}

}  // namespace corvane
