// Download tasks, the worker pool and the update manager against the scripted server.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Thread.h"
#include "download/HttpThreadPool.h"
#include "download/HttpWorkerThread.h"
#include "download/UpdateMgr.h"
#include "net/HTTPApp.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Thread.h"
#include "support/TempDir.h"
#include "support/net/ScriptedServer.h"

using namespace download;
using testsupport::TScriptedServer;

namespace {

template <class F>
bool PumpUntil(F done, uint32_t boundMs = 15000) {
  uint32_t start = platform::TickCount();
  while (!done()) {
    if (platform::TickCount() - start > boundMs) return false;
    base::CheckSynchronize(5);
  }
  return true;
}

void PumpFor(uint32_t ms) {
  uint32_t start = platform::TickCount();
  while (platform::TickCount() - start < ms) base::CheckSynchronize(5);
}

struct TDoneLog : base::TObject {
  std::vector<uint8_t> Codes;
  std::vector<uint32_t> Threads;
  static void OnDone(void* ctx, THttpTask*, uint8_t code, const std::string&) {
    static_cast<TDoneLog*>(ctx)->Codes.push_back(code);
    static_cast<TDoneLog*>(ctx)->Threads.push_back(platform::CurrentThreadId());
  }
  THttpDoneEvent Event() { return {&TDoneLog::OnDone, this}; }
};

std::string Url(const TScriptedServer& s, const std::string& path) { return "http://127.0.0.1:" + s.PortText() + path; }

int64_t LocalToFileTime(base::TDateTime local) {
  return base::DateTimeToFileTime(local + platform::TimeZoneBiasMinutes() / 1440.0);
}

// Releases the process-wide pool after each test, waiting for its workers.
struct PoolTest : ::testing::Test {
  void TearDown() override { ReleaseHttpThreadPool(); }
};

}  // namespace

TEST_F(PoolTest, SameDayFileIsCurrentWithoutAnyRequest) {
  testsupport::TempDir dir;
  std::string file = dir / "NewConfig.ini";
  testsupport::WriteFile(file, "old");
  platform::FileTimes t;
  t.LastAccess = LocalToFileTime(base::Now());
  ASSERT_TRUE(platform::SetFileTimes(file, t));
  net::THTTPClient client;
  // Nothing listens there: any request would fail.
  EXPECT_TRUE(DownloadToFile(client, "http://127.0.0.1:1/cfg.ini", "", file));
  EXPECT_EQ(testsupport::ReadFile(file), "old");
}

TEST_F(PoolTest, YesterdaysFileIsAskedWithItsLastWriteTimeAndKeptWhenNotModified) {
  testsupport::TempDir dir;
  std::string file = dir / "cfg.ini";
  testsupport::WriteFile(file, "cached");
  base::TDateTime lastWrite = base::EncodeDate(2026, 1, 2) + base::EncodeTime(3, 4, 5, 0);
  platform::FileTimes t;
  t.LastWrite = LocalToFileTime(lastWrite);
  t.LastAccess = LocalToFileTime(base::Now() - 1.5);
  ASSERT_TRUE(platform::SetFileTimes(file, t));
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send("HTTP/1.1 304 Not Modified\r\nConnection: close\r\n\r\n").Close();
  server.Start();
  net::THTTPClient client;
  EXPECT_TRUE(DownloadToFile(client, Url(server, "/cfg.ini"), "", file));
  EXPECT_NE(server.Received().find("If-Modified-Since:" + net::LocalToHTTPDate(lastWrite) + "\r\n"), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(file), "cached");
  platform::FileTimes after;
  ASSERT_TRUE(platform::GetFileTimes(file, after));
  EXPECT_GT(after.LastAccess, t.LastAccess + 864000000000LL / 2);  // marked as accessed now
}

// The same-day rule reads the file's last-access date alone: a file written today but
// last accessed yesterday is asked again; one accessed today counts as current, however
// old its content. (Each file here was created today.)
TEST_F(PoolTest, SameDayRuleReadsTheLastAccessDate) {
  // Whole seconds at noon, so If-Modified-Since reads back exactly and no row sits on a
  // day's edge.
  const base::TDateTime noon = base::EncodeTime(12, 0, 0, 0);
  const base::TDateTime today = base::Date() + noon, yesterday = today - 1,
                        longAgo = base::EncodeDate(2026, 1, 2) + noon;
  const struct {
    const char* Name;
    base::TDateTime LastWrite, LastAccess;
    bool Asked;
  } cases[] = {
      {"written today, accessed yesterday", today, yesterday, true},
      {"written and accessed yesterday", yesterday, yesterday, true},
      {"written long ago, accessed today", longAgo, today, false},
      {"written and accessed today", today, today, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    testsupport::TempDir dir;
    std::string file = dir / "cfg.ini";
    testsupport::WriteFile(file, "cached");
    platform::FileTimes t;
    t.LastWrite = LocalToFileTime(c.LastWrite);
    t.LastAccess = LocalToFileTime(c.LastAccess);
    ASSERT_TRUE(platform::SetFileTimes(file, t));
    net::THTTPClient client;
    if (c.Asked) {
      TScriptedServer server;
      server.Expect("\r\n\r\n").Send("HTTP/1.1 304 Not Modified\r\nConnection: close\r\n\r\n").Close();
      server.Start();
      EXPECT_TRUE(DownloadToFile(client, Url(server, "/cfg.ini"), "", file));
      server.WaitDone();
      EXPECT_NE(server.Received().find("If-Modified-Since:" + net::LocalToHTTPDate(c.LastWrite) + "\r\n"),
                std::string::npos);
    } else {
      // Nothing listens there: any request would fail.
      EXPECT_TRUE(DownloadToFile(client, "http://127.0.0.1:1/cfg.ini", "", file));
    }
    EXPECT_EQ(testsupport::ReadFile(file), "cached");
  }
}

TEST_F(PoolTest, DownloadedFileTakesTheServersLastModified) {
  testsupport::TempDir dir;
  std::string file = dir / "pkg.vtzip";
  TScriptedServer server;
  server.Expect("\r\n\r\n")
      .Send(
          "HTTP/1.1 200 OK\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-Length: 4\r\n"
          "Connection: close\r\n\r\nDATA")
      .Close();
  server.Start();
  net::THTTPClient client;
  ASSERT_TRUE(DownloadToFile(client, Url(server, "/pkg.vtzip"), "", file));
  EXPECT_EQ(testsupport::ReadFile(file), "DATA");
  EXPECT_EQ(server.Received().find("If-Modified-Since"), std::string::npos);
  platform::FileTimes times;
  ASSERT_TRUE(platform::GetFileTimes(file, times));
  EXPECT_EQ(times.LastWrite, base::DateTimeToFileTime(base::UnixToDateTime(784111777)));
}

TEST_F(PoolTest, TwoTasksForOneServerShareAWorkerAndItsConnection) {
  testsupport::TempDir dir;
  TScriptedServer server;
  const std::string ok =
      "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: Keep-Alive\r\nKeep-Alive: timeout=5\r\n\r\n";
  server.Expect("GET /a ").Send(ok + "aa").Expect("GET /b ").Send(ok + "bb").Wait(300).Close();
  server.Start();
  TDoneLog log;
  THttpThreadPool& pool = HttpThreadPool();
  pool.AddTask(new THttpGetFileTask(Url(server, "/a"), "", dir / "a", {}, log.Event(), &log), true);
  pool.AddTask(new THttpGetFileTask(Url(server, "/b"), "", dir / "b", {}, log.Event(), &log), true);
  EXPECT_EQ(pool.WorkerCount(), 1);
  ASSERT_TRUE(PumpUntil([&] { return log.Codes.size() == 2; }));
  EXPECT_EQ(log.Codes, (std::vector<uint8_t>{1, 1}));
  EXPECT_EQ(log.Threads[0], platform::CurrentThreadId());  // delivered on the main thread
  EXPECT_EQ(testsupport::ReadFile(dir / "b"), "bb");       // the one connection carried both
}

TEST_F(PoolTest, DistinctServersGetTheirOwnWorkersUpToTheLimit) {
  THttpThreadPool& pool = HttpThreadPool();
  ASSERT_EQ(pool.MaxWorkers, 10);
  std::vector<std::unique_ptr<TScriptedServer>> servers;
  TDoneLog log;
  testsupport::TempDir dir;
  for (int i = 0; i < 11; ++i) {
    servers.push_back(std::make_unique<TScriptedServer>());
    servers.back()->Expect("\r\n\r\n").Wait(300).Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n").Close();
    servers.back()->Start();
    pool.AddTask(new THttpGetFileTask(Url(*servers.back(), "/x"), "", dir / std::to_string(i), {}, log.Event(), &log),
                 true);
    EXPECT_EQ(pool.WorkerCount(), std::min(i + 1, 10));
  }
  EXPECT_EQ(pool.QueuedCount(), 1);  // the eleventh server waits in the pool's queue
  ASSERT_TRUE(PumpUntil([&] { return log.Codes.size() == 11; }));
  EXPECT_EQ(log.Codes, std::vector<uint8_t>(11, 2));
  EXPECT_TRUE(servers.back()->WaitDone(1000));  // and was served later
}

// A port that is no number raises deep in the socket layer; the task still answers, and
// its worker goes on serving.
TEST_F(PoolTest, RaisingRequestIsReportedAsFailedAndTheWorkerGoesOn) {
  testsupport::TempDir dir;
  TDoneLog log;
  THttpThreadPool& pool = HttpThreadPool();
  pool.AddTask(new THttpGetFileTask("http://127.0.0.1:abc/x", "", dir / "x", {}, log.Event(), &log), true);
  ASSERT_TRUE(PumpUntil([&] { return log.Codes.size() == 1; }));
  EXPECT_EQ(log.Codes[0], 2);
  EXPECT_FALSE(platform::FileExists(dir / "x"));
  // The same worker (same server) takes the next task.
  pool.AddTask(new THttpGetFileTask("http://127.0.0.1:abc/y", "", dir / "y", {}, log.Event(), &log), true);
  ASSERT_TRUE(PumpUntil([&] { return log.Codes.size() == 2; }));
  EXPECT_EQ(log.Codes[1], 2);
  EXPECT_EQ(pool.WorkerCount(), 1);
}

TEST_F(PoolTest, CancelingByOwnerAbortsTheRunningTaskWithoutNotice) {
  testsupport::TempDir dir;
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc").Stall();
  server.Start();
  TDoneLog log;
  THttpThreadPool& pool = HttpThreadPool();
  pool.AddTask(new THttpGetFileTask(Url(server, "/slow"), "", dir / "s", {}, log.Event(), &log), true);
  pool.AddTask(new THttpGetFileTask(Url(server, "/queued"), "", dir / "q", {}, log.Event(), &log), true);
  ASSERT_TRUE(server.WaitDone());
  EXPECT_FALSE(pool.CancelTasks(TEventKey{}));  // an empty key cancels nothing
  pool.CancelTasks(TEventKey::Owner(&log));
  PumpFor(500);
  EXPECT_TRUE(log.Codes.empty());
  EXPECT_FALSE(platform::FileExists(dir / "s"));
}

TEST_F(PoolTest, IdleWorkerEndsAndLeavesThePool) {
  THttpThreadPool& pool = HttpThreadPool();
  pool.OnWorkerCreated = {[](void*, THttpWorkerThread* w) { w->FIdleTimeout = 200; }, nullptr};
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n").Close();
  server.Start();
  TDoneLog log;
  testsupport::TempDir dir;
  pool.AddTask(new THttpGetFileTask(Url(server, "/x"), "", dir / "x", {}, log.Event(), &log), true);
  ASSERT_TRUE(PumpUntil([&] { return log.Codes.size() == 1; }));
  EXPECT_TRUE(PumpUntil([&] { return pool.WorkerCount() == 0; }, 5000));
}

TEST_F(PoolTest, UpdateManagerReportsCodesAndCancelsOnRelease) {
  testsupport::TempDir dir;
  struct TResult {
    std::vector<uint8_t> Codes;
  } result;
  auto onConfig = TUpdateDoneEvent{
      [](void* ctx, TUpdateMgr*, uint8_t code) { static_cast<TResult*>(ctx)->Codes.push_back(code); }, &result};
  HttpThreadPool().OnWorkerCreated = {[](void*, THttpWorkerThread* w) { w->Client().Timeout = 300; }, nullptr};
  {
    // Nothing listens: refused, code 2.
    TUpdateMgr mgr;
    mgr.ConfigUrl = "http://127.0.0.1:1/c.ini";
    mgr.SaveConfigPath = dir / "c.ini";
    mgr.OnConfigDownloaded = onConfig;
    ASSERT_TRUE(mgr.DownloadConfig());
    ASSERT_TRUE(PumpUntil([&] { return result.Codes.size() == 1; }));
    EXPECT_EQ(result.Codes[0], 2);
  }
  {
    // Head, then a stalled body on a kept connection: time-out, code 3.
    TScriptedServer server;
    server.Expect("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: Keep-Alive\r\n\r\nab").Stall();
    server.Start();
    TUpdateMgr mgr;
    mgr.ConfigUrl = Url(server, "/c.ini");
    mgr.SaveConfigPath = dir / "c2.ini";
    mgr.OnConfigDownloaded = onConfig;
    ASSERT_TRUE(mgr.DownloadConfig());
    ASSERT_TRUE(PumpUntil([&] { return result.Codes.size() == 2; }));
    EXPECT_EQ(result.Codes[1], 3);
  }
  ReleaseHttpThreadPool();
  {
    // Released while the download runs: aborted, never reported.
    TScriptedServer server;
    server.Expect("\r\n\r\n").Stall();
    server.Start();
    auto mgr = std::make_unique<TUpdateMgr>();
    mgr->ConfigUrl = Url(server, "/c.ini");
    mgr->SaveConfigPath = dir / "c3.ini";
    mgr->OnConfigDownloaded = onConfig;
    ASSERT_TRUE(mgr->DownloadConfig());
    ASSERT_TRUE(server.WaitDone());
    mgr.reset();
    PumpFor(300);
    EXPECT_EQ(result.Codes.size(), 2u);
  }
}
