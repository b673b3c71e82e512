// httpget in-process against a scripted server on 127.0.0.1: what it sends, what it
// writes to FILE, its report line and its exit code.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/Strings.h"
#include "cli/CommandLine.h"
#include "httpget/Httpget.h"
#include "support/TempDir.h"
#include "support/net/ScriptedServer.h"

namespace {

const char kOk5[] = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

TEST(Httpget, DownloadsReportsAndFails) {
  const struct {
    std::vector<std::string> Options;
    std::string Answer;  // the server's whole answer, then it closes
    int Exit;
    const char* Request;  // a piece of what the server received
    const char* Body;     // FILE afterwards
    const char* Report;   // standard output, exactly ("" with --quiet); "*" a failure line
  } cases[] = {
      {{}, kOk5, cli::kExitOk, "GET /f HTTP/1.1\r\n", "hello", nullptr},
      {{"--post", "a=1&b=2", "--quiet"}, kOk5, cli::kExitOk, "Content-Length: 7\r\n\r\na=1&b=2", "hello", ""},
      {{"--if-modified-since=Sun, 06 Nov 1994 08:49:37 GMT", "--quiet"},
       "HTTP/1.1 304 Not Modified\r\nConnection: close\r\n\r\n",
       cli::kExitOk,
       "If-Modified-Since:",
       "",
       ""},
      {{"--timeout", "5000"},
       "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found",
       cli::kExitFailed,
       "GET /f ",
       "",
       "*"},
      {{}, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nshort", cli::kExitFailed, "GET /f ", nullptr, "*"},
  };
  testsupport::TempDir dir;
  const std::string file = dir / "body.bin";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Answer);
    testsupport::TScriptedServer server;
    server.Expect(c.Options.size() && c.Options[0] == "--post" ? "a=1&b=2" : "\r\n\r\n").Send(c.Answer).Close();
    server.Start();
    std::vector<std::u16string> args = {base::Utf8ToWide("http://127.0.0.1:" + server.PortText() + "/f"),
                                        base::Utf8ToWide(file)};
    for (const std::string& o : c.Options) args.push_back(base::Utf8ToWide(o));
    std::ostringstream out, err;
    EXPECT_EQ(httpget::Run(args, out, err), c.Exit) << err.str();
    EXPECT_TRUE(server.WaitDone());
    EXPECT_NE(server.Received().find(c.Request), std::string::npos) << server.Received();
    if (c.Body) {
      EXPECT_EQ(testsupport::ReadFile(file), c.Body);
    }
    if (!c.Report) {
      EXPECT_EQ(out.str().rfind("status 200, 5 bytes in ", 0), 0u) << out.str();
      EXPECT_NE(out.str().find(" MB/s), state done\n"), std::string::npos) << out.str();
    } else if (std::string(c.Report) == "*") {
      EXPECT_NE(out.str().find(", FAILED\n"), std::string::npos) << out.str();
    } else {
      EXPECT_EQ(out.str(), c.Report);
    }
  }
}

// --repeat 2 runs both downloads on one client. It keeps the connection only when the
// answer announced keep-alive with a time-out; otherwise, or when the server dropped the
// kept connection (the client's single retry), the second request needs a new connection.
// The last case is a server that wants no new connection but gets one it never accepts:
// the request waits out --timeout for the answer's head, and the client reports the
// abort that follows as "closed".
TEST(Httpget, RepeatOnKeptAndNewConnections) {
  const std::string kept =
      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: Keep-Alive\r\nKeep-Alive: timeout=5\r\n\r\nhello";
  const struct {
    std::string Answer;
    bool NewConnection;   // the server closes after the first answer and accepts the next connection
    const char* Timeout;  // a failing case waits it out once
    int Exit;
    const char* Report;  // the start of the report line
    const char* Body;
  } cases[] = {
      {kept, false, "5000", cli::kExitOk, "status 200, 10 bytes in ", "hello"},
      {kOk5, true, "5000", cli::kExitOk, "status 200, 10 bytes in ", "hello"},
      {kept, true, "5000", cli::kExitOk, "status 200, 10 bytes in ", "hello"},
      {kOk5, false, "500", cli::kExitFailed, "status 0, 5 bytes in ", ""},
  };
  testsupport::TempDir dir;
  const std::string file = dir / "body.bin";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Answer + (c.NewConnection ? " (new connection)" : " (same connection)"));
    testsupport::TScriptedServer server;
    server.Expect("\r\n\r\n").Send(c.Answer);
    if (c.NewConnection) server.Wait(50).AcceptNext();
    server.Expect("\r\n\r\n", 2).Send(c.Answer).Close();
    server.Start();
    std::vector<std::u16string> args = {base::Utf8ToWide("http://127.0.0.1:" + server.PortText() + "/f"),
                                        base::Utf8ToWide(file),
                                        u"--repeat",
                                        u"2",
                                        u"--timeout",
                                        base::Utf8ToWide(c.Timeout)};
    std::ostringstream out, err;
    EXPECT_EQ(httpget::Run(args, out, err), c.Exit) << err.str();
    EXPECT_EQ(out.str().rfind(c.Report, 0), 0u) << out.str();
    EXPECT_NE(out.str().find(c.Exit == cli::kExitOk ? "state done\n" : "state closed, FAILED\n"), std::string::npos)
        << out.str();
    EXPECT_EQ(testsupport::ReadFile(file), c.Body);
    if (c.Exit == cli::kExitOk) {
      EXPECT_TRUE(server.WaitDone());
      std::string got = server.Received();
      size_t first = got.find("GET /f HTTP/1.1\r\n");
      ASSERT_NE(first, std::string::npos) << got;
      EXPECT_NE(got.find("GET /f HTTP/1.1\r\n", first + 1), std::string::npos) << got;
    }
  }
}

}  // namespace
