// One updater per data folder. Two processes updating from one data folder (a second terminal,
// the window beside the command line) would settle each other's settings files; so an update
// holds the folder's lock from before it touches its device until it has settled its files.
// Several updates of one process (several ports at once) share the lock. The lock is the
// operating system's, so it goes away by itself when its process dies.
#pragma once

#include <functional>
#include <string>

constexpr const char* kFolderLockName = "updater.lock";

enum class FolderLockResult { kTaken, kBusy, kFailed };

class DataFolderLock {
 public:
  DataFolderLock() = default;
  ~DataFolderLock();
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;

  // Takes the folder's lock for an update on this port: kBusy when another process holds it
  // (*holder: which program, process and ports), kFailed when the lock file cannot be made
  // (*holder: the system's error number).
  // `whenFirst` runs when no other update of this process is at work there, before any other
  // can begin: files it finds "in use" were left by a process that ended.
  FolderLockResult Take(const std::string& dataFolder, const std::string& port, std::string* holder,
            const std::function<void()>& whenFirst);
  void Release();

 private:
  std::string folder_;
  std::string port_;
  bool held_ = false;
};
