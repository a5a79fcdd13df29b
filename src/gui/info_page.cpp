#include "gui/info_page.h"

#include "common/program_folder.h"
#include "core/server_controller.h"
#include "gui/qt_text.h"
#include "platform/local_addresses.h"

namespace corvane {
namespace {

QString Row(const QString& name, const QString& value)
{
    return "<tr><td><b>" + name.toHtmlEscaped() + "</b></td><td>" + value.toHtmlEscaped() + "</td></tr>";
}

QString ServiceState(bool listening, int clients)
{
    if (!listening) return "Stopped";
    return "Running, " + (clients == 0 ? QString("no users") : QString::number(clients) + " users");
}

}  // namespace

InfoPage::InfoPage(serverController& controller, QWidget* parent)
    : QTextBrowser(parent),
      controller_(controller)
{
    setObjectName("InfoPage");
    setOpenLinks(false);
}

void InfoPage::showEvent(QShowEvent* event)
{
    Reload();
    QTextBrowser::showEvent(event);
}

void InfoPage::Reload()
{
    const ServerSettings& s = controller_.settings();
    QString addresses;
    for (const std::string& address : LocalIPv4Addresses())
        addresses += (addresses.isEmpty() ? "" : ", ") + QtText(address);
    QString html = "<h2>Brinvale Corvane Server</h2><table cellspacing='4'>";
    html += Row("FTP service", ServiceState(controller_.ftpListening(), controller_.clientCount(kServiceFtp)));
    html += Row("FTP port", QString::number(s.Port));
    html += Row("HTTP service", ServiceState(controller_.httpListening(), controller_.clientCount(kServiceHttp)));
    html += Row("HTTP port", QString::number(s.WebServerPort));
    html += Row("HTTPS port", s.WebServerHttpsPort > 0 ? QString::number(s.WebServerHttpsPort) : QString("off"));
    html += Row("Bind address", QtText(s.UserSetServerIP));
    html += Row("Local addresses", addresses.isEmpty() ? QString("none") : addresses);
    html += Row("Users", QString::number(controller_.accounts().UserNames().size()));
    html += Row("Groups", QString::number(controller_.accounts().GroupNames().size()));
    html += Row("Indexing for peers", s.ServerDesiredButNoP2PSharingMode ? QString("off") : QString("on"));
    html += Row("Home folder", QtText(ProgramFolder()));
    html += "</table><p>The help page (Help, Help Contents, F1) explains every page of this window.</p>";
    setHtml(html);
}

}  // namespace corvane
