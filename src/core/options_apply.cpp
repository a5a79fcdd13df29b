// The options dialog's apply-and-save groups, carried out on the controller.
#include "core/server_controller.h"

namespace corvane {
namespace {

using S = ServerSettings;

// The values of each of the dialog's restart groups, handed to `use` as member pointers.
template <typename Use>
auto CommonGroup(Use use)
{
    return use(&S::UserSetServerIP, &S::MD5IndexingEnabled, &S::ServerDesiredButNoP2PSharingMode);
}

template <typename Use>
auto FtpGroup(Use use)
{
    return use(&S::MaximumNumberOfConnections, &S::Port, &S::BannerFromFile, &S::BannerFilePath, &S::AfterLoginMessage,
               &S::AfterLoginMessageFilePath, &S::WebLinkRequired, &S::ManualPASVPortsEnabled, &S::PASVPortsRangeBegin,
               &S::PASVIP, &S::TlsCertificateFile, &S::TlsKeyFile, &S::TlsRequiredForPasswordLogins);
}

template <typename Use>
auto HttpGroup(Use use)
{
    return use(&S::WebServerPort, &S::WebServerRoot, &S::WebServerConnections, &S::WebServerHtmlHeader,
               &S::WebServerError404Answer, &S::WebServerHttpsPort, &S::WebServerRedirectToHttps);
}

template <typename Use>
auto CacheGroup(Use use)
{
    return use(&S::DirectoryCacheEnabled, &S::FileCacheEnabled, &S::FileCacheMode, &S::CacheSize,
               &S::CacheAutoRefreshGUI);
}

}  // namespace

serverController::OptionsApplied serverController::applyOptions(const ServerSettings& given, bool reverseDnsCheck)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    // As the dialog takes its fields: an empty passive address is the bind address.
    ServerSettings fresh = given;
    if (fresh.PASVIP.empty()) fresh.PASVIP = fresh.UserSetServerIP;
    const auto differs = [&](auto... member) { return ((settings_.*member != fresh.*member) || ...); };
    const auto copy = [&](auto... member) { ((settings_.*member = fresh.*member), ...); };
    const bool common = CommonGroup(differs);
    const bool ftp = common || FtpGroup(differs);
    const bool http = (common || HttpGroup(differs)) && httpListening();
    // Every value is in place before any service restarts, so a restart never sees a mix.
    CommonGroup(copy);
    FtpGroup(copy);
    HttpGroup(copy);
    CacheGroup(copy);
    settings_.HttpBindAddress = settings_.UserSetServerIP;
    accounts_.IpRules().SetReverseDnsCheck(reverseDnsCheck);
    applyCacheSettings();
    // A new log file path while logging to a file goes on takes effect too (the log panel
    // reopens only when the switch changes, and a reload has no panel).
    const bool logMoved = fresh.LoggingToFile && settings_.LoggingToFile && fresh.LogFilePath != settings_.LogFilePath;
    applyLogSettings(fresh.ScreenLoggingEnabled, fresh.LoggingToFile, fresh.LogFilePath);
    if (logMoved) reopenLogFile();
    if (ftp && http) restartServices(kServiceBoth);
    else if (ftp) restartServices(kServiceFtp);
    else if (http) restartServices(kServiceHttp);
    return {ftp, http};
}

void serverController::reopenLogFile()
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (settings_.LoggingToFile) log_.OpenLogFile(settings_.LogFilePath);
}

}  // namespace corvane
