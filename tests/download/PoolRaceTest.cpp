// Races between the main thread (adding, canceling, releasing) and the download workers.
// Run under AddressSanitizer and ThreadSanitizer by the test command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Thread.h"
#include "download/HttpThreadPool.h"
#include "download/HttpWorkerThread.h"
#include "net/HttpClient.h"
#include "platform/Clock.h"
#include "platform/Sockets.h"
#include "support/TempDir.h"
#include "support/net/ScriptedServer.h"

using namespace download;
using testsupport::TScriptedServer;

namespace {

template <class F>
bool PumpUntil(F done, uint32_t boundMs) {
  uint32_t start = platform::TickCount();
  while (!done()) {
    if (platform::TickCount() - start > boundMs) return false;
    base::CheckSynchronize(5);
  }
  return true;
}

struct TDoneLog : base::TObject {
  std::vector<uint8_t> Codes;
  static void OnDone(void* ctx, THttpTask*, uint8_t code, const std::string&) {
    static_cast<TDoneLog*>(ctx)->Codes.push_back(code);
  }
  THttpDoneEvent Event() { return {&TDoneLog::OnDone, this}; }
};

std::string Url(const TScriptedServer& s, const std::string& path) { return "http://127.0.0.1:" + s.PortText() + path; }

const std::string kKeptAnswer =
    "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: Keep-Alive\r\nKeep-Alive: timeout=30\r\n\r\nok";

struct PoolRace : ::testing::Test {
  void TearDown() override { ReleaseHttpThreadPool(); }
};

}  // namespace

TEST_F(PoolRace, CancelWhileTheWorkerFinishesTheTask) {
  // Tasks to a closed port fail at once, so the cancel meets the worker at every step of
  // finishing: notifying, publishing, releasing the task.
  uint16_t closed;
  {
    testsupport::TLoopbackListener listener;
    closed = listener.Port();
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(closed) + "/x";
  testsupport::TempDir dir;
  TDoneLog log;
  THttpThreadPool& pool = HttpThreadPool();
  for (int i = 0; i < 3000; ++i) {
    pool.AddTask(new THttpGetFileTask(url, "", dir / "f", {}, log.Event(), &log), true);
    for (int spin = 0; spin < i % 7; ++spin) base::CheckSynchronize(0);
    pool.CancelTasks(TEventKey::Owner(&log));
  }
  PumpUntil([] { return false; }, 100);
  for (uint8_t code : log.Codes) EXPECT_EQ(code, 2);
}

TEST_F(PoolRace, ATaskParkedForASecondServerIsTakenByTheOnlyWorker) {
  testsupport::TempDir dir;
  TScriptedServer first, second;
  first.Expect("\r\n\r\n").Send(kKeptAnswer).Stall();  // the connection stays open
  second.Expect("\r\n\r\n").Send(kKeptAnswer).Close();
  first.Start();
  second.Start();
  TDoneLog log;
  THttpThreadPool& pool = HttpThreadPool();
  pool.MaxWorkers = 1;
  pool.OnWorkerCreated = {[](void*, THttpWorkerThread* w) { w->FIdleTimeout = 20000; }, nullptr};
  pool.AddTask(new THttpGetFileTask(Url(first, "/a"), "", dir / "a", {}, log.Event(), &log), true);
  ASSERT_TRUE(PumpUntil([&] { return log.Codes.size() == 1; }, 5000));
  // Let the worker settle into its wait on the kept-alive connection to the first server.
  PumpUntil([] { return false; }, 300);
  pool.AddTask(new THttpGetFileTask(Url(second, "/b"), "", dir / "b", {}, log.Event(), &log), true);
  EXPECT_EQ(pool.WorkerCount(), 1);  // parked: no second worker
  EXPECT_TRUE(PumpUntil([&] { return log.Codes.size() == 2; }, 2000)) << "the parked task waited";
  EXPECT_EQ(log.Codes, (std::vector<uint8_t>{1, 1}));
}

TEST_F(PoolRace, AnAbortBeforeTheConnectionExistsIsKept) {
  // The abort lands while no socket is published yet (a name lookup, a connect): the
  // request fails as soon as its connection is made, instead of clearing the abort.
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send(kKeptAnswer).Close();
  server.Start();
  net::THTTPClient client;
  base::TMemoryStream body;
  client.AbortFromOtherThread();
  uint32_t start = platform::TickCount();
  EXPECT_FALSE(client.Get(Url(server, "/x"), "", &body));
  EXPECT_LT(platform::TickCount() - start, 100u);
  EXPECT_EQ(body.Size(), 0);
  EXPECT_EQ(client.State(), net::hsClosed);
  // Cleared by the owner, the next request goes through.
  client.ClearAbortRequest();
  EXPECT_TRUE(client.Get(Url(server, "/x"), "", &body));
  EXPECT_EQ(body.Size(), 2);
}

TEST_F(PoolRace, ReleasingThePoolWithARunningTaskCallsNoHandler) {
  testsupport::TempDir dir;
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc").Stall();
  server.Start();
  TDoneLog log;
  HttpThreadPool().AddTask(new THttpGetFileTask(Url(server, "/slow"), "", dir / "s", {}, log.Event(), &log), true);
  ASSERT_TRUE(server.WaitDone());
  uint32_t start = platform::TickCount();
  ReleaseHttpThreadPool();  // serves synchronised calls while it waits for the worker
  EXPECT_LT(platform::TickCount() - start, 2000u);
  EXPECT_TRUE(log.Codes.empty());
  PumpUntil([] { return false; }, 100);
  EXPECT_TRUE(log.Codes.empty());
}

TEST_F(PoolRace, AWorkerWhoseRequestWasCanceledStopsAtOnceAtRelease) {
  // The launcher's start budget: the configuration request to a server that never
  // answers is canceled, and the release at the end must not wait for the server.
  testsupport::TempDir dir;
  TScriptedServer server;
  server.Expect("\r\n\r\n").Stall();
  server.Start();
  TDoneLog log;
  HttpThreadPool().AddTask(new THttpGetFileTask(Url(server, "/cfg"), "", dir / "c", {}, log.Event(), &log), true);
  ASSERT_TRUE(server.WaitDone());
  HttpThreadPool().CancelTasks(TEventKey::Owner(&log));
  PumpUntil([] { return false; }, 200);
  uint32_t start = platform::TickCount();
  ReleaseHttpThreadPool(5000);
  EXPECT_LT(platform::TickCount() - start, 300u);
  EXPECT_TRUE(log.Codes.empty());
}

TEST_F(PoolRace, ACancelEndsAConnectThatTheServerLeavesHanging) {
  // A listener whose backlog is full drops the handshake: the connect would wait for the
  // system's own time-out. The worker's client waits for it in select, in slices.
  testsupport::TLoopbackListener listener(0);
  std::vector<platform::TSocket> fillers;
  for (int i = 0; i < 64; ++i) {
    platform::TSocket s = platform::SocketCreate();
    platform::SocketSetNonBlocking(s, true);
    platform::SocketConnect(s, platform::InetAddr("127.0.0.1"), platform::HostToNetShort(listener.Port()));
    fillers.push_back(s);
    bool writable = true;
    if (platform::SocketSelect(s, nullptr, &writable, nullptr, 200) == 0) break;  // this one hangs: full
  }
  testsupport::TempDir dir;
  TDoneLog log;
  THttpThreadPool& pool = HttpThreadPool();
  std::string url = "http://127.0.0.1:" + listener.PortText() + "/cfg";
  pool.AddTask(new THttpGetFileTask(url, "", dir / "c", {}, log.Event(), &log), true);
  PumpUntil([] { return false; }, 300);
  ASSERT_EQ(pool.WorkerCount(), 1);
  pool.CancelTasks(TEventKey::Owner(&log));
  uint32_t start = platform::TickCount();
  ReleaseHttpThreadPool(5000);  // returns once the worker has left its connect
  EXPECT_LT(platform::TickCount() - start, 100u);
  EXPECT_TRUE(log.Codes.empty());
  for (platform::TSocket s : fillers) platform::SocketClose(s);
}

TEST_F(PoolRace, ARefusedConnectFailsAtOnce) {
  // The workers connect with a time-out: a refusal must end the wait at once on every
  // platform (Winsock reports it in the exception set, BSD sockets as writable).
  uint16_t closed;
  {
    testsupport::TLoopbackListener listener;
    closed = listener.Port();
  }
  testsupport::TempDir dir;
  TDoneLog log;
  uint32_t start = platform::TickCount();
  HttpThreadPool().AddTask(
      new THttpGetFileTask("http://127.0.0.1:" + std::to_string(closed) + "/x", "", dir / "f", {}, log.Event(), &log),
      true);
  ASSERT_TRUE(PumpUntil([&] { return log.Codes.size() == 1; }, 5000));
  EXPECT_LT(platform::TickCount() - start, 1000u);
  EXPECT_EQ(log.Codes[0], 2);
}
