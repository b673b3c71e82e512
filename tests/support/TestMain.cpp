// Test entry: the thread running main() is the main thread of the runtime.
#include <gtest/gtest.h>

#include "base/Thread.h"
#include "platform/Thread.h"

int main(int argc, char** argv) {
  base::SetMainThreadID(platform::CurrentThreadId());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
