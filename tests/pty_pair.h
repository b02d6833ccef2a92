// A pseudo-terminal for driver tests: the test plays the device on the master
// side while the driver under test opens the slave by its path.
#pragma once

#include <string>

struct PtyPair {
  int master = -1;
  std::string slavePath;

  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  void Send(const std::string& bytes) const;
  // Everything that arrives within waitMs of the last byte.
  std::string Receive(int waitMs = 200) const;
  // The speed the slave side is set to.
  unsigned SlaveBaud() const;
  // The device goes away: the slave side sees a hang-up.
  void CloseMaster();
};
