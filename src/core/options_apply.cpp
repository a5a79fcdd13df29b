// The options dialog's apply-and-save groups, carried out on the controller.
#include "core/server_controller.h"

namespace corvane {
namespace {

bool CommonGroupDiffers(const ServerSettings& a, const ServerSettings& b)
{
    return a.UserSetServerIP != b.UserSetServerIP || a.MD5IndexingEnabled != b.MD5IndexingEnabled ||
           a.ServerDesiredButNoP2PSharingMode != b.ServerDesiredButNoP2PSharingMode;
}

bool FtpGroupDiffers(const ServerSettings& a, const ServerSettings& b)
{
    return a.MaximumNumberOfConnections != b.MaximumNumberOfConnections || a.Port != b.Port ||
           a.BannerFromFile != b.BannerFromFile || a.BannerFilePath != b.BannerFilePath ||
           a.AfterLoginMessage != b.AfterLoginMessage || a.AfterLoginMessageFilePath != b.AfterLoginMessageFilePath ||
           a.WebLinkRequired != b.WebLinkRequired || a.ManualPASVPortsEnabled != b.ManualPASVPortsEnabled ||
           a.PASVPortsRangeBegin != b.PASVPortsRangeBegin || a.PASVIP != b.PASVIP;
}

bool HttpGroupDiffers(const ServerSettings& a, const ServerSettings& b)
{
    return a.WebServerPort != b.WebServerPort || a.WebServerRoot != b.WebServerRoot ||
           a.WebServerConnections != b.WebServerConnections || a.WebServerHtmlHeader != b.WebServerHtmlHeader ||
           a.WebServerError404Answer != b.WebServerError404Answer;
}

// Copies the values of the three restart groups (common, FTP, HTTP).
void CopyServiceGroups(const ServerSettings& from, ServerSettings& to)
{
    to.UserSetServerIP = from.UserSetServerIP;
    to.HttpBindAddress = from.UserSetServerIP;
    to.MD5IndexingEnabled = from.MD5IndexingEnabled;
    to.ServerDesiredButNoP2PSharingMode = from.ServerDesiredButNoP2PSharingMode;
    to.MaximumNumberOfConnections = from.MaximumNumberOfConnections;
    to.Port = from.Port;
    to.BannerFromFile = from.BannerFromFile;
    to.BannerFilePath = from.BannerFilePath;
    to.AfterLoginMessage = from.AfterLoginMessage;
    to.AfterLoginMessageFilePath = from.AfterLoginMessageFilePath;
    to.WebLinkRequired = from.WebLinkRequired;
    to.ManualPASVPortsEnabled = from.ManualPASVPortsEnabled;
    to.PASVPortsRangeBegin = from.PASVPortsRangeBegin;
    to.PASVIP = from.PASVIP.empty() ? from.UserSetServerIP : from.PASVIP;
    to.WebServerPort = from.WebServerPort;
    to.WebServerRoot = from.WebServerRoot;
    to.WebServerConnections = from.WebServerConnections;
    to.WebServerHtmlHeader = from.WebServerHtmlHeader;
    to.WebServerError404Answer = from.WebServerError404Answer;
}

}  // namespace

serverController::OptionsApplied serverController::applyOptions(const ServerSettings& fresh, bool reverseDnsCheck)
{
    const bool common = CommonGroupDiffers(settings_, fresh);
    const bool ftp = common || FtpGroupDiffers(settings_, fresh);
    const bool http = (common || HttpGroupDiffers(settings_, fresh)) && httpListening();
    // Every value is in place before any service restarts, so a restart never sees a mix.
    CopyServiceGroups(fresh, settings_);
    accounts_.SetReverseDnsCheck(reverseDnsCheck);
    settings_.DirectoryCacheEnabled = fresh.DirectoryCacheEnabled;
    settings_.FileCacheEnabled = fresh.FileCacheEnabled;
    settings_.FileCacheMode = fresh.FileCacheMode;
    settings_.CacheSize = fresh.CacheSize;
    settings_.CacheAutoRefreshGUI = fresh.CacheAutoRefreshGUI;
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
    if (settings_.LoggingToFile) log_.OpenLogFile(settings_.LogFilePath);
}

}  // namespace corvane
