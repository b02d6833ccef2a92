// A fresh folder of the running test's own: <temp>/<prefix><pid>_<test name>.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    (prefix + std::to_string(::getpid()) + "_" +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}
