#include "p2p/index_file.h"

#include "common/program_folder.h"
#include "common/text_lines.h"
#include "platform/fs.h"

namespace corvane {
namespace {

// An index line holds one virtual path and a few short fields; anything far longer is damage.
constexpr std::size_t kLongestIndexLine = 16384;

}  // namespace

std::string IndexFilePath() { return ProgramFolder() + kIndexFileName; }

std::vector<std::string> ReadIndexFile(const std::string& hostPath)
{
    std::vector<std::string> lines;
    std::string content;
    if (!fs::HostFileExists(hostPath) || !fs::ReadFileText(hostPath, content)) return lines;
    for (std::string_view line : TextLines(content))
        if (!line.empty() && line.size() <= kLongestIndexLine) lines.emplace_back(line);
    return lines;
}

bool WriteIndexFile(const std::string& hostPath, const std::vector<std::string>& lines)
{
    std::size_t size = 0;
    for (const std::string& line : lines) size += line.size() + 2;
    std::string content;
    content.reserve(size);
    for (const std::string& line : lines) content.append(line).append("\r\n");
    return fs::WriteFileAtomically(hostPath, content);
}

}  // namespace corvane
