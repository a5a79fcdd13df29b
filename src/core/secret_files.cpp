#include "core/secret_files.h"

#include <vector>

#include "common/constants.h"
#include "common/text_case.h"
#include "platform/fs.h"

namespace corvane {

void TightenSecretFiles(const std::string& home, const std::string& tlsKeyFile,
                        const std::function<void(const std::string&)>& log)
{
    std::vector<std::string> secrets = {home + std::string(kAccountDatabaseFileName),
                                        home + std::string(kServerSettingsFileName),
                                        tlsKeyFile.empty() ? home + "CorvaneServer.key" : tlsKeyFile};
    for (const std::string& name : fs::ListHostFolder(home))
        if (name.size() > 4 && EqualsIgnoreCase(name.substr(name.size() - 4), ".kcf")) secrets.push_back(home + name);
    for (const std::string& path : secrets)
        if (fs::MakeOwnerOnlyIfShared(path))
            log("! " + path + " was readable by others: now readable by its owner only");
}

}  // namespace corvane
