// The system calls behind the data folder's lock, one small file per platform. The lock is
// the operating system's own on an open file, so it goes away with the process that holds
// it, however that process ends.
#pragma once

#include <cstdint>
#include <string>

using LockHandle = intptr_t;
constexpr LockHandle kNoLockHandle = -1;

enum class LockTry { kTaken, kHeldElsewhere, kFailed };

// Opens (creating it) and locks the file for this process alone, without waiting. On kTaken
// *handle holds it; on kFailed *error is the system's error number.
LockTry LockFileExclusive(const std::string& path, LockHandle* handle, int* error);
// Replaces the file's text (who holds the lock), which others can read while it is held.
void WriteLockText(LockHandle handle, const std::string& text);
// The text of a lock file, read without taking the lock.
std::string ReadLockText(const std::string& path);
// Unlocks and closes.
void UnlockFile(LockHandle handle);
// This process: its program's file name and its number.
std::string ProcessName();
long ProcessNumber();
