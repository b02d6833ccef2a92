#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "web/web_transport_winhttp.h"
#include "web_support/test_transport.h"

std::unique_ptr<WebTransport> MakeTestTransport(int* handled) {
  return std::make_unique<WinHttpTransport>([handled](int maxWaitMs) {
    ++*handled;
    std::this_thread::sleep_for(std::chrono::milliseconds(maxWaitMs));
  });
}

int RunWebTests(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
