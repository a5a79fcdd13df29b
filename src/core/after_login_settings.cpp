#include "core/after_login_settings.h"

#include "common/text_lines.h"
#include "core/server_settings.h"
#include "platform/drive_map.h"
#include "platform/fs.h"

namespace corvane {
namespace {

bool ReadRealFile(const std::string& realPath, std::string& content)
{
    const auto hostPath = DriveMap::HostPathOf(realPath);
    return hostPath && fs::HostFileExists(*hostPath) && fs::ReadFileText(*hostPath, content);
}

// The after-login text: "230-" + line + CR LF for each line of the file (an empty file gives
// an empty text). Lines end at LF; a CR before the LF belongs to the line end.
std::string AfterLoginTextOf(const std::string& content)
{
    std::string text;
    for (std::string_view line : TextLines(content)) text.append("230-").append(line).append("\r\n");
    return text;
}

}  // namespace

void AfterLoginSettings::Apply(const ServerSettings& s)
{
    afterLoginEnabled_ = s.AfterLoginMessage;
    std::string content;
    if (afterLoginEnabled_ && ReadRealFile(s.AfterLoginMessageFilePath, content))
        afterLoginText_ = AfterLoginTextOf(content);
    webLinkRequired_ = s.WebLinkRequired;
}

}  // namespace corvane
