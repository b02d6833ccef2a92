#include "app/folder_lock.h"

#include <map>
#include <mutex>
#include <vector>

#include "app/folder_lock_platform.h"

namespace {

// The locks this process holds: one system lock per folder, shared by its updates.
struct HeldFolder {
  LockHandle handle = kNoLockHandle;
  std::vector<std::string> ports;
};

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, HeldFolder>& Registry() {
  static std::map<std::string, HeldFolder> folders;
  return folders;
}

std::string LockPath(const std::string& folder) { return folder + "/" + kFolderLockName; }

std::string HolderText(const HeldFolder& held) {
  std::string ports;
  for (const std::string& port : held.ports) ports += (ports.empty() ? "" : ", ") + port;
  return ProcessName() + " (process " + std::to_string(ProcessNumber()) + ")" +
         (ports.empty() ? std::string() : " on " + ports);
}

}  // namespace

DataFolderLock::~DataFolderLock() { Release(); }

FolderLockResult DataFolderLock::Take(const std::string& dataFolder, const std::string& port, std::string* holder,
                          const std::function<void()>& whenFirst) {
  Release();
  const std::lock_guard<std::mutex> guard(RegistryMutex());
  auto found = Registry().find(dataFolder);
  const bool first = found == Registry().end();
  if (first) {
    LockHandle handle = kNoLockHandle;
    int error = 0;
    const LockTry tried = LockFileExclusive(LockPath(dataFolder), &handle, &error);
    if (tried == LockTry::kHeldElsewhere) {
      *holder = ReadLockText(LockPath(dataFolder));
      if (holder->empty()) *holder = "another program";
      return FolderLockResult::kBusy;
    }
    if (tried == LockTry::kFailed) {
      *holder = std::to_string(error);
      return FolderLockResult::kFailed;
    }
    found = Registry().emplace(dataFolder, HeldFolder{handle, {}}).first;
  }
  found->second.ports.push_back(port);
  WriteLockText(found->second.handle, HolderText(found->second));
  if (first && whenFirst) whenFirst();
  folder_ = dataFolder;
  port_ = port;
  held_ = true;
  return FolderLockResult::kTaken;
}

void DataFolderLock::Release() {
  if (!held_) return;
  held_ = false;
  const std::lock_guard<std::mutex> guard(RegistryMutex());
  const auto found = Registry().find(folder_);
  if (found == Registry().end()) return;
  std::vector<std::string>& ports = found->second.ports;
  for (auto port = ports.begin(); port != ports.end(); ++port) {
    if (*port != port_) continue;
    ports.erase(port);
    break;
  }
  if (!ports.empty()) {
    WriteLockText(found->second.handle, HolderText(found->second));
    return;
  }
  WriteLockText(found->second.handle, "");
  UnlockFile(found->second.handle);
  Registry().erase(found);
}
