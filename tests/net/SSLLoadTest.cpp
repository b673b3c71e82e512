// The TLS library is loaded on first use by whichever worker needs it first: several
// threads starting at once must load it once and all get a working table.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "net/SSLClient.h"

namespace {

TEST(SSLLibrary, ConcurrentFirstUseLoadsOnce) {
  for (int round = 0; round < 3; ++round) {
    net::TSSLClient::SetLibraryName("");  // unloaded: the next creation loads
    std::atomic<bool> go{false};
    std::atomic<int> withContext{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([&] {
        while (!go) std::this_thread::yield();
        net::TSSLClient ssl(platform::kInvalidSocket);
        if (ssl.Ready()) ++withContext;
      });
    }
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(withContext, 8);
    EXPECT_TRUE(net::TSSLClient::LibraryLoaded());
  }
}

}  // namespace
