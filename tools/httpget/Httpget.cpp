#include "httpget/Httpget.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "cli/Arguments.h"
#include "cli/CommandLine.h"
#include "net/HTTPApp.h"
#include "net/HttpClient.h"
#include "net/QZTCPClient.h"

namespace httpget {
namespace {

const char kUsage[] =
    "usage: httpget URL FILE [options]\n"
    "  --post DATA                 send DATA as a form body (POST)\n"
    "  --if-modified-since DATE    send If-Modified-Since (an HTTP date, e.g.\n"
    "                              \"Sun, 06 Nov 1994 08:49:37 GMT\")\n"
    "  --proxy http://HOST:PORT    tunnel through an HTTP CONNECT proxy\n"
    "  --proxy socks5://HOST:PORT  tunnel through a SOCKS5 proxy\n"
    "  --proxy-user USER:PASSWORD  proxy credentials\n"
    "  --timeout MS                read time-out (default 60000)\n"
    "  --repeat N                  download N times on one client (keep-alive), report the total\n"
    "  --receive-buffer BYTES      fixed socket receive buffer (default: the system's\n"
    "                              own, which grows with the link)\n"
    "  --quiet                     print nothing; the exit code tells\n"
    "exit codes: 0 downloaded; 1 the request failed or FILE cannot be written; 2 wrong\n"
    "  command line\n";

const cli::TOption kOptions[] = {{"--post", "a value"},           {"--if-modified-since", "a value"},
                                 {"--proxy", "a value"},          {"--proxy-user", "a value"},
                                 {"--timeout", "a value"},        {"--repeat", "a value"},
                                 {"--receive-buffer", "a value"}, {"--quiet"}};

bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  host = text.substr(0, colon);
  port = text.substr(colon + 1);
  return true;
}

}  // namespace

int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
  cli::TCommandLine<std::u16string> line = cli::ParseCommandLine(args, kOptions);
  if (cli::ShowHelp(line, kUsage, out)) return cli::kExitOk;
  if (!line.Error.empty()) return cli::UsageError(err, "httpget", line.Error, kUsage);
  if (line.Positional.size() > 2) return cli::UsageError(err, "httpget", "too many arguments", kUsage);
  auto text = [&](const char* name) {
    const std::u16string* v = line.Last(name);
    return v ? cli::SystemText(*v) : std::string();
  };
  auto number = [&](const char* name, int32_t absent, int32_t bad) {
    return line.Has(name) ? base::StrToIntDef(text(name), bad) : absent;
  };
  std::string post = text("--post"), ims = text("--if-modified-since"), proxy = text("--proxy"),
              proxyUser = text("--proxy-user");
  int32_t timeout = number("--timeout", 60000, -1), repeat = number("--repeat", 1, 0),
          receiveBuffer = number("--receive-buffer", 0, -1);
  bool quiet = line.Has("--quiet");
  if (line.Positional.size() != 2 || line.Positional[0].empty() || line.Positional[1].empty() || timeout <= 0 ||
      repeat <= 0 || receiveBuffer < 0)
    return cli::UsageError(err, "httpget", "", kUsage);
  std::string url = cli::SystemText(line.Positional[0]);
  const std::u16string& file = line.Positional[1];
  base::TDateTime ifModifiedSince = 0;
  if (!ims.empty() && (ifModifiedSince = net::ParseHTTPDate(ims)) == 0) {
    err << "httpget: not an HTTP date: " << ims << "\n";
    return cli::kExitUsage;
  }

  net::THTTPClient client;
  client.Timeout = timeout;
  // The body goes to a file, not to memory: a compressed one may inflate to any size.
  client.MaxDecodedSize = INT64_MAX;
  if (receiveBuffer > 0) client.TcpClient().Socket().ReceiveBufferSize = receiveBuffer;
  if (!proxy.empty()) {
    net::TQZProxyInfo info;
    std::string hostPort;
    if (base::StartsText("http://", proxy)) {
      info.ProxyType = net::ptHTTP;
      hostPort = proxy.substr(7);
    } else if (base::StartsText("socks5://", proxy)) {
      info.ProxyType = net::ptSocks5;
      hostPort = proxy.substr(9);
    }
    if (info.ProxyType == net::ptNone || !SplitHostPort(hostPort, info.Host, info.Port)) {
      err << "httpget: --proxy takes http://HOST:PORT or socks5://HOST:PORT\n";
      return cli::kExitUsage;
    }
    size_t colon = proxyUser.find(':');
    info.UserName = proxyUser.substr(0, colon);
    if (colon != std::string::npos) info.Password = proxyUser.substr(colon + 1);
    client.TcpClient().Proxy().Assign(info);
  }

  std::unique_ptr<base::TFileStream> body;
  try {
    body = std::make_unique<base::TFileStream>(file, base::fmCreate);
  } catch (const base::Exception& e) {
    err << "httpget: " << e.what() << "\n";
    return cli::kExitFailed;
  }

  auto start = std::chrono::steady_clock::now();
  int64_t bytes = 0;
  bool ok = true;
  for (int n = 0; n < repeat && ok; ++n) {
    // The file was created empty. A needless truncate would also make the file system
    // force the whole file out to disk when it is closed (ext4 takes a truncate to zero
    // for a file being replaced), and a device such as /dev/null cannot be truncated.
    if (n > 0) body->SetSize(0);
    try {
      ok = client.Get(url, post, body.get(), ifModifiedSince);
    } catch (const base::Exception& e) {  // a SOCKS proxy refusal
      err << "httpget: " << e.what() << "\n";
      ok = false;
    }
    bytes += body->Size();
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (!quiet) {
    const char* states[] = {"done", "send failed", "timeout", "closed", "busy"};
    char report[200];
    std::snprintf(report, sizeof report, "status %d, %lld bytes in %.1f ms (%.1f MB/s), state %s%s\n",
                  client.StatusCode, static_cast<long long>(bytes), ms, ms > 0 ? bytes / ms / 1000.0 : 0.0,
                  states[client.State() <= net::hsBusy ? client.State() : 0], ok ? "" : ", FAILED");
    out << report;
  }
  return ok ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace httpget
