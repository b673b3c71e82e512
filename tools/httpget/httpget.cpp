// httpget: downloads one URL to a file with the product's own HTTP client, so vendors
// can check an update server the way the launcher sees it, and benchmarks can measure
// the client. Prints status, bytes and time; exit code 0 when the download completed.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "net/HTTPApp.h"
#include "net/HttpClient.h"
#include "net/QZTCPClient.h"

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
    "exit codes: 0 downloaded, 1 request failed, 2 bad arguments, 3 file error\n";

bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  host = text.substr(0, colon);
  port = text.substr(colon + 1);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string url, file, post, ims, proxy, proxyUser;
  int32_t timeout = 60000;
  int repeat = 1;
  int32_t receiveBuffer = 0;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "httpget: %s needs a value\n%s", name, kUsage);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--post")
      post = value("--post");
    else if (a == "--if-modified-since")
      ims = value("--if-modified-since");
    else if (a == "--proxy")
      proxy = value("--proxy");
    else if (a == "--proxy-user")
      proxyUser = value("--proxy-user");
    else if (a == "--timeout")
      timeout = base::StrToIntDef(value("--timeout"), -1);
    else if (a == "--repeat")
      repeat = base::StrToIntDef(value("--repeat"), 0);
    else if (a == "--receive-buffer")
      receiveBuffer = base::StrToIntDef(value("--receive-buffer"), -1);
    else if (a == "--quiet")
      quiet = true;
    else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "httpget: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else if (url.empty())
      url = a;
    else if (file.empty())
      file = a;
    else {
      std::fprintf(stderr, "httpget: too many arguments\n%s", kUsage);
      return 2;
    }
  }
  if (url.empty() || file.empty() || timeout <= 0 || repeat <= 0 || receiveBuffer < 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  base::TDateTime ifModifiedSince = 0;
  if (!ims.empty() && (ifModifiedSince = net::ParseHTTPDate(ims)) == 0) {
    std::fprintf(stderr, "httpget: not an HTTP date: %s\n", ims.c_str());
    return 2;
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
      std::fprintf(stderr, "httpget: --proxy takes http://HOST:PORT or socks5://HOST:PORT\n");
      return 2;
    }
    size_t colon = proxyUser.find(':');
    info.UserName = proxyUser.substr(0, colon);
    if (colon != std::string::npos) info.Password = proxyUser.substr(colon + 1);
    client.TcpClient().Proxy().Assign(info);
  }

  std::unique_ptr<base::TFileStream> out;
  try {
    out = std::make_unique<base::TFileStream>(file, base::fmCreate);
  } catch (const base::Exception& e) {
    std::fprintf(stderr, "httpget: %s\n", e.what());
    return 3;
  }

  auto start = std::chrono::steady_clock::now();
  int64_t bytes = 0;
  bool ok = true;
  for (int n = 0; n < repeat && ok; ++n) {
    // The file was created empty. A needless truncate would also make the file system
    // force the whole file out to disk when it is closed (ext4 takes a truncate to zero
    // for a file being replaced), and a device such as /dev/null cannot be truncated.
    if (n > 0) out->SetSize(0);
    try {
      ok = client.Get(url, post, out.get(), ifModifiedSince);
    } catch (const base::Exception& e) {  // a SOCKS proxy refusal
      std::fprintf(stderr, "httpget: %s\n", e.what());
      ok = false;
    }
    bytes += out->Size();
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (!quiet) {
    const char* states[] = {"done", "send failed", "timeout", "closed", "busy"};
    std::printf("status %d, %lld bytes in %.1f ms (%.1f MB/s), state %s%s\n", client.StatusCode,
                static_cast<long long>(bytes), ms, ms > 0 ? bytes / ms / 1000.0 : 0.0,
                states[client.State() <= net::hsBusy ? client.State() : 0], ok ? "" : ", FAILED");
  }
  return ok ? 0 : 1;
}
