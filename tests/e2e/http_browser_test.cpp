// Headless Chromium opens the share: a page served from the share itself loads the folder pages
// in frames and reports, in its own DOM, what the browser saw of them.
#include <gtest/gtest.h>

#include <algorithm>

#include "../platform/scratch_folder.h"
#include "server_process.h"

namespace corvane {
namespace {

using testing::FreeLoopbackPort;
using testing::ServerProcess;
using testing::WriteFile;

constexpr const char* kCheckPage = R"HTML(<html><body><pre id="out">pending</pre>
<script>
function fnv(bytes) {
  let h = 2166136261;
  for (const b of bytes) h = Math.imul(h ^ b, 16777619) >>> 0;
  return h;
}
// Walks a folder's page as crawlers do: a link that ends in "/" is a folder, any other a file.
async function walk(folder, walked) {
  const answer = await fetch(folder);
  if (answer.redirected) walked.redirects++;
  const page = new DOMParser().parseFromString(await answer.text(), 'text/html');
  for (const a of page.links) {
    const href = a.getAttribute('href');
    if (!href.startsWith(folder) || href.endsWith('/..')) continue;
    if (href.endsWith('/')) {
      await walk(href, walked);
      continue;
    }
    const bytes = new Uint8Array(await (await fetch(href)).arrayBuffer());
    walked.files.push(decodeURIComponent(href) + ' ' + bytes.length + ' ' + fnv(bytes));
  }
}
function frame(url) {
  return new Promise(done => {
    const f = document.createElement('iframe');
    f.onload = () => done(f);
    f.src = url;
    document.body.appendChild(f);
  });
}
(async () => {
  const out = [];
  const root = (await frame('/')).contentDocument;
  const icons = [...root.images];
  out.push('icons ' + icons.length + ' ' + icons.filter(i => i.complete && i.naturalWidth === 16).length);
  out.push('links ' + [...root.links].map(a => a.getAttribute('href')).join(' '));
  const named = [...root.links].find(a => a.textContent.includes('#1'));
  out.push('named ' + (await (await fetch(named.href)).text()));
  const music = await frame('/music');
  out.push('folder ' + music.contentWindow.location.pathname + ' ' + music.contentDocument.title);
  const bytes = new Uint8Array(await (await fetch('/big.bin')).arrayBuffer());
  out.push('file ' + bytes.length + ' ' + fnv(bytes));
  const missing = await frame('/missing.txt');
  out.push('missing ' + missing.contentDocument.body.innerText.trim());
  const walked = {files: [], redirects: 0};
  await walk('/tree/', walked);
  out.push('walk ' + walked.files.sort().join('|') + ' redirects ' + walked.redirects);
  document.getElementById('out').textContent = out.join('\n');
})();
</script></body></html>)HTML";

std::uint32_t Fnv1a(const std::string& bytes)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char b : bytes) h = (h ^ b) * 16777619u;
    return h;
}

TEST(WebBrowser, ChromiumSeesTheFolderPagesIconsRedirectFileAnd404AndWalksTheTree)
{
    if (std::system("command -v chromium >/dev/null 2>&1") != 0) GTEST_SKIP() << "chromium is not installed";
    testing::ScratchFolder scratch;
    const std::string home = scratch.Join("home");
    const std::string share = home + "/drive_c/My Downloads";
    const int ftpPort = FreeLoopbackPort();
    int httpPort = FreeLoopbackPort();
    while (httpPort == ftpPort) httpPort = FreeLoopbackPort();
    WriteFile(home + "/CorvaneServer.ini",
              "[ServerData]\r\nPort=" + std::to_string(ftpPort) + "\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=" +
                  std::to_string(httpPort) + "\r\nRunWebServerNextTime=1\r\nWebServerError404Answer=C:\\404.htm\r\n");
    WriteFile(home + "/drive_c/404.htm", "<p>Nothing here, sorry.</p>");
    WriteFile(share + "/music/song.mp3", "la la la");
    WriteFile(share + "/caf\xC3\xA9 #1.txt", "named in UTF-8");
    WriteFile(share + "/check.htm", kCheckPage);
    std::string big(700000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteFile(share + "/big.bin", big);
    const auto tree = testing::AwkwardlyNamedTree();
    testing::WriteTree(share + "/tree", tree);
    std::vector<std::string> walked;
    for (const auto& [path, content] : tree)
        walked.push_back("/tree/" + path + " " + std::to_string(content.size()) + " " + std::to_string(Fnv1a(content)));
    std::sort(walked.begin(), walked.end());
    std::string walk;
    for (const std::string& file : walked) walk += (walk.empty() ? "" : "|") + file;
    ServerProcess server(home, httpPort);
    ASSERT_TRUE(server.WaitListening());

    const std::string command =
        "timeout 60 chromium --headless --no-sandbox --disable-gpu --user-data-dir=" + scratch.Join("profile") +
        " --virtual-time-budget=20000 --dump-dom http://127.0.0.1:" + std::to_string(httpPort) +
        "/check.htm 2>/dev/null";
    std::string dom;
    testing::RunCommand(command, dom);
    const std::size_t start = dom.find("<pre id=\"out\">");
    ASSERT_NE(start, std::string::npos) << dom;
    std::string report = dom.substr(start + 14, dom.find("</pre>", start) - start - 14);
    // The DOM is dumped as HTML: the names' "&" come back as "&amp;".
    for (std::size_t at = 0; (at = report.find("&amp;", at)) != std::string::npos; ++at) report.erase(at + 1, 4);
    // The parent link, three folders and three files: seven icons, each decoded at 16 pixels
    // wide. Folder links end in "/": the walk through the tree follows them without a redirect.
    EXPECT_EQ(report, "icons 7 7\n"
                      "links /.. /images/ /music/ /tree/ /big.bin /caf%C3%A9%20%231.txt /check.htm "
                      "https://www.brinvale.com/corvane/\n"
                      "named named in UTF-8\n"
                      "folder /music/ Directory listing of: music/\n"
                      "file 700000 " +
                          std::to_string(Fnv1a(big)) +
                          "\n"
                          "missing Nothing here, sorry.\n"
                          "walk " +
                          walk + " redirects 0");
    EXPECT_EQ(server.StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace corvane
