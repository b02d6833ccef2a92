// The transport for a port on a network serial server (RFC 2217): a telnet session over a socket.
#include "serial/port_backend.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "serial/network_port_name.h"
#include "serial/network_socket.h"
#include "serial/serial_port.h"
#include "serial/telnet_codec.h"

namespace {

using telnet::Event;

constexpr int kConnectTimeoutMs = 5000;
constexpr int kAnswerTimeoutMs = 3000;  // for the server's answers, beyond the round trip
constexpr int kCloseWaitMs = 1000;      // for the server to let go of its port after a close
constexpr int kRequestTimeoutMs = 2000;
constexpr int kPumpSliceMs = 50;
constexpr int kReceiveChunk = 4096;
constexpr size_t kPendingDataMax = 1 << 20;  // a flood from the server is dropped past this
constexpr size_t kServerTextMax = 120;       // what a closing server said, kept for the reason
constexpr uint8_t kDataBits = 8;

struct Session {
  int socket = kNoSocket;
  telnet::Decoder decoder;
  std::string data;                           // received, not yet handed over
  std::set<uint8_t> localOn, remoteOn;        // options in force on our side and on the server's
  std::set<uint8_t> localAsked, remoteAsked;  // our option requests still unanswered
  bool comPortRefused = false;
  std::map<uint8_t, std::string> answers;  // the latest answer to each request, by the request's code
  bool serverAnswersPurge = false;
  int purgesOutstanding = 0;  // data is stale until the server has answered these purges
  int64_t purgeDeadline = 0;  // ... or until then, should an answer never come
  bool opening = true;        // everything before the open's settings took effect is stale
  std::string staleText;      // what the server said meanwhile: its words when it closes
  int roundTripMs = 0;
  std::string failure;
};

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool LocalWanted(uint8_t option) {
  return option == telnet::kOptionBinary || option == telnet::kOptionComPort ||
         option == telnet::kOptionSuppressGoAhead;
}
bool RemoteWanted(uint8_t option) {
  return option == telnet::kOptionBinary || option == telnet::kOptionSuppressGoAhead;
}

int Send(Session& s, const std::string& bytes) {
  return SocketSend(s.socket, bytes.data(), static_cast<int>(bytes.size()), kRequestTimeoutMs, &s.failure).error;
}

// Answers the server's option requests; an answer to a request of ours needs no reply.
void HandleOption(Session& s, const Event& e, std::string* reply) {
  const uint8_t option = e.code;
  if (e.verb == telnet::kDo || e.verb == telnet::kDont) {
    const bool asked = s.localAsked.erase(option) > 0;
    if (e.verb == telnet::kDont) {
      if (option == telnet::kOptionComPort) s.comPortRefused = true;
      if (s.localOn.erase(option) > 0 && !asked) *reply += telnet::Option(telnet::kWont, option);
    } else if (!LocalWanted(option)) {
      *reply += telnet::Option(telnet::kWont, option);
    } else if (s.localOn.insert(option).second && !asked) {
      *reply += telnet::Option(telnet::kWill, option);
    }
    return;
  }
  const bool asked = s.remoteAsked.erase(option) > 0;
  if (e.verb == telnet::kWont) {
    if (s.remoteOn.erase(option) > 0 && !asked) *reply += telnet::Option(telnet::kDont, option);
  } else if (!RemoteWanted(option)) {
    *reply += telnet::Option(telnet::kDont, option);
  } else if (s.remoteOn.insert(option).second && !asked) {
    *reply += telnet::Option(telnet::kDo, option);
  }
}

void TakeData(Session& s, const std::string& bytes) {
  if (s.purgesOutstanding > 0 && NowMs() > s.purgeDeadline) s.purgesOutstanding = 0;
  if (s.opening) {
    s.staleText += bytes.substr(0, kServerTextMax - std::min(kServerTextMax, s.staleText.size()));
  } else if (s.purgesOutstanding == 0 && s.data.size() < kPendingDataMax) {
    s.data += bytes.substr(0, kPendingDataMax - s.data.size());
  }
}

void TakeAnswer(Session& s, const Event& e) {
  if (e.code <= telnet::kServerReply) return;  // a request of the server's: nothing it needs
  const auto code = static_cast<uint8_t>(e.code - telnet::kServerReply);
  if (code == telnet::kPurgeData && s.purgesOutstanding > 0) --s.purgesOutstanding;
  s.answers[code] = e.value;
}

// Receives once (waiting at most waitMs) and takes in what came: 0, or the error of a
// connection that ended.
int Pump(Session& s, int waitMs) {
  char buffer[kReceiveChunk];
  const PlatformResult got = SocketReceive(s.socket, buffer, kReceiveChunk, std::max(waitMs, 0), &s.failure);
  if (got.error != 0) return got.error;
  std::vector<Event> events;
  telnet::Decode(s.decoder, buffer, got.value, &events);
  std::string reply;
  for (const Event& e : events) {
    switch (e.kind) {
      case Event::Kind::kData: TakeData(s, e.value); break;
      case Event::Kind::kOption: HandleOption(s, e, &reply); break;
      case Event::Kind::kComPort: TakeAnswer(s, e); break;
    }
  }
  return reply.empty() ? 0 : Send(s, reply);
}

// Pumps until done() holds or the deadline passes: 0, kSysDeviceFailed for a connection that
// ended, or -1 at the deadline.
template <typename Done>
int PumpUntil(Session& s, int64_t deadline, Done done) {
  while (!done()) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) return -1;
    const int error = Pump(s, static_cast<int>(std::min<int64_t>(left, kPumpSliceMs)));
    if (error != 0) return error;
  }
  return 0;
}

std::string ServerWords(const Session& s) {
  std::string words;
  for (char c : s.staleText) {
    if (c == '\r' || c == '\n') c = ' ';
    if (static_cast<unsigned char>(c) >= ' ' && static_cast<unsigned char>(c) < 0x7F) words.push_back(c);
  }
  while (!words.empty() && words.back() == ' ') words.pop_back();
  return words.empty() ? "" : " (it said \"" + words + "\")";
}

// A server that lets us in and then hangs up has given its port to someone else.
int ClosedWhileOpening(Session& s) {
  s.failure = "the server closed the connection at once" + ServerWords(s) +
              ": another client is probably using its serial port";
  return kSysPortInUse;
}

// COM-PORT-OPTION and binary transfer both ways; everything else keeps the server's default.
int Negotiate(Session& s) {
  using namespace telnet;
  s.localAsked = {kOptionComPort, kOptionBinary};
  s.remoteAsked = {kOptionBinary};
  int error = Send(s, Option(kWill, kOptionComPort) + Option(kWill, kOptionBinary) + Option(kDo, kOptionBinary));
  if (error != 0) return ClosedWhileOpening(s);
  error = PumpUntil(s, NowMs() + kAnswerTimeoutMs,
                    [&s] { return s.comPortRefused || (s.localAsked.empty() && s.remoteAsked.empty()); });
  if (error > 0) return ClosedWhileOpening(s);
  if (error < 0) {
    s.failure = "the server does not speak RFC 2217 (no answer to the COM-PORT-OPTION within " +
                std::to_string(kAnswerTimeoutMs / 1000) + " s): is it a plain TCP port?";
    return kSysPortMissing;
  }
  if (s.comPortRefused || s.localOn.count(kOptionComPort) == 0) {
    s.failure = "the server refuses the COM-PORT-OPTION: it offers no serial port control (RFC 2217)";
    return kSysPortMissing;
  }
  if (s.localOn.count(kOptionBinary) == 0 || s.remoteOn.count(kOptionBinary) == 0) {
    s.failure = "the server refuses binary transfer, which firmware images need";
    return kSysPortMissing;
  }
  return 0;
}

std::string Byte(uint8_t value) { return std::string(1, static_cast<char>(value)); }

// Whether the server confirmed a setting as asked: 0, else kSysDeviceFailed with the reason.
int Confirmed(Session& s, uint8_t command, const std::string& asked, const char* what) {
  const auto answer = s.answers.find(command);
  if (answer == s.answers.end()) {
    s.failure = std::string("the server did not confirm the ") + what;
    return kSysDeviceFailed;
  }
  if (answer->second == asked) return 0;
  s.failure = std::string("the server would not set the ") + what + " asked for";
  if (command == telnet::kSetBaudRate) {
    s.failure += " (" + std::to_string(telnet::BaudRateOf(asked)) + " baud; it set " +
                 std::to_string(telnet::BaudRateOf(answer->second)) + ")";
  }
  return kSysDeviceFailed;
}

// The settings of a local port's open, each a request of its own. The lines and the purge may
// go unanswered (a pseudo-terminal behind the server refuses DTR and RTS, as it does locally):
// the server answers in order, so whatever is unanswered once the later settings are
// confirmed was refused. The speed's answer comes a round trip after the requests went (the
// server's own notices may come sooner).
int ApplySettings(Session& s, uint32_t baud) {
  using namespace telnet;
  const std::string rate = BaudRateValue(baud);
  const std::string requests =
      ComPortRequest(kSetControl, Byte(kControlNoFlowControl)) + ComPortRequest(kSetControl, Byte(kControlDtrOn)) +
      ComPortRequest(kSetControl, Byte(kControlRtsOn)) + ComPortRequest(kPurgeData, Byte(kPurgeReceiveBuffer)) +
      ComPortRequest(kSetBaudRate, rate) + ComPortRequest(kSetDataSize, Byte(kDataBits)) +
      ComPortRequest(kSetParity, Byte(kParityNone)) + ComPortRequest(kSetStopSize, Byte(kStopSizeOne));
  s.answers.clear();
  const int64_t sent = NowMs();
  if (Send(s, requests) != 0) return ClosedWhileOpening(s);
  int error = PumpUntil(s, sent + kAnswerTimeoutMs, [&s, sent] {
    if (s.roundTripMs == 0 && s.answers.count(kSetBaudRate) > 0) {
      s.roundTripMs = static_cast<int>(std::max<int64_t>(1, NowMs() - sent));
    }
    return s.answers.count(kSetStopSize) > 0;
  });
  if (error > 0) return ClosedWhileOpening(s);
  if ((error = Confirmed(s, kSetBaudRate, rate, "speed")) != 0 ||
      (error = Confirmed(s, kSetDataSize, Byte(kDataBits), "data size")) != 0 ||
      (error = Confirmed(s, kSetParity, Byte(kParityNone), "parity")) != 0 ||
      (error = Confirmed(s, kSetStopSize, Byte(kStopSizeOne), "stop size")) != 0) {
    return error;
  }
  s.serverAnswersPurge = s.answers.count(kPurgeData) > 0;
  s.opening = false;
  s.staleText.clear();
  return 0;
}

// Drops DTR and RTS, ends the connection and waits (briefly) until the server has let go of its port.
int CloseSession(Session& s) {
  using namespace telnet;
  (void)Send(s, ComPortRequest(kSetControl, Byte(kControlDtrOff)) + ComPortRequest(kSetControl, Byte(kControlRtsOff)));
  SocketEndSending(s.socket);
  // The server hangs up once it has closed its port; until then another open would find it busy.
  s.opening = true;  // nothing that still comes is data for anyone
  (void)PumpUntil(s, NowMs() + kCloseWaitMs + s.roundTripMs, [] { return false; });
  SocketClose(s.socket);
  s.socket = kNoSocket;
  return 0;
}

PlatformResult ReadSession(Session& s, char* destination, int maximum, int waitMs) {
  if (maximum <= 0) return {0, 0};
  // What is waiting now comes with what was kept, as a local read takes all that arrived.
  int error = Pump(s, 0);
  if (error == 0 && s.data.empty()) {
    error = PumpUntil(s, NowMs() + waitMs, [&s] { return !s.data.empty(); });
  }
  if (s.data.empty()) return {0, error > 0 ? error : 0};
  const size_t count = std::min(s.data.size(), static_cast<size_t>(maximum));
  std::copy_n(s.data.begin(), count, destination);
  s.data.erase(0, count);
  return {static_cast<int>(count), 0};  // a connection that ended shows on the next read
}

PlatformResult WriteSession(Session& s, const char* source, int length, int timeoutMs) {
  const std::string wire = telnet::Escape(source, length);
  const PlatformResult put = SocketSend(s.socket, wire.data(), static_cast<int>(wire.size()), timeoutMs, &s.failure);
  return put.error != 0 ? PlatformResult{0, put.error} : PlatformResult{length, 0};
}

int SetSessionBaud(Session& s, uint32_t baud) {
  s.answers.erase(telnet::kSetBaudRate);
  const std::string rate = telnet::BaudRateValue(baud);
  int error = Send(s, telnet::ComPortRequest(telnet::kSetBaudRate, rate));
  if (error == 0) {
    error = PumpUntil(s, NowMs() + kAnswerTimeoutMs + s.roundTripMs,
                      [&s] { return s.answers.count(telnet::kSetBaudRate) > 0; });
  }
  if (error > 0) return error;
  return Confirmed(s, telnet::kSetBaudRate, rate, "speed");
}

// Discards what has arrived, and asks the server to discard what it holds.
void PurgeSession(Session& s) {
  (void)Pump(s, 0);
  s.data.clear();
  if (!s.serverAnswersPurge) return;
  // What the server sent before it purged is still on its way: it is dropped when it comes, up to
  // the purge's answer, which follows it on the connection.
  if (Send(s, telnet::ComPortRequest(telnet::kPurgeData, Byte(telnet::kPurgeReceiveBuffer))) != 0) return;
  ++s.purgesOutstanding;
  s.purgeDeadline = NowMs() + kAnswerTimeoutMs + s.roundTripMs;
}

// Connects, agrees on the COM-PORT-OPTION and binary transfer, sets the baud with 8N1, raises
// DTR and RTS, discards input from before the open and measures the round trip.
int Connect(Session& s, const std::string& url, uint32_t baud, std::string* reason) {
  NetworkPortAddress address;
  if (!ParseNetworkPortName(url, &address, reason)) return kSysPortMissing;
  int error = SocketConnect(address.host, address.port, kConnectTimeoutMs, &s.socket, reason);
  if (error != 0) return error;
  error = Negotiate(s);
  if (error == 0) error = ApplySettings(s, baud);
  if (error != 0) *reason = s.failure;
  return error;
}

struct NetworkPortBackend final : PortBackend {
  Session session;

  ~NetworkPortBackend() override {
    if (session.socket != kNoSocket) SocketClose(session.socket);
  }
  int descriptor() const override { return session.socket; }
  int close() override { return CloseSession(session); }
  PlatformResult read(char* destination, int maximum, int waitMs) override {
    return ReadSession(session, destination, maximum, waitMs);
  }
  PlatformResult write(const char* source, int length, int timeoutMs) override {
    return WriteSession(session, source, length, timeoutMs);
  }
  int setBaud(uint32_t baud) override { return SetSessionBaud(session, baud); }
  void purgeInput() override { PurgeSession(session); }
  int roundTripMs() const override { return session.roundTripMs; }
  std::string failure() const override { return session.failure; }
};

}  // namespace

int OpenNetworkPort(SerialPort& port, std::unique_ptr<PortBackend>* opened) {
  auto backend = std::make_unique<NetworkPortBackend>();
  const int error = Connect(backend->session, port.portName, port.hostBaud, &port.failure);
  if (error != 0) {
    print_message(port.log, kLogFailure, port.portName.c_str(), "VSOpen failed to open comm port (error %d): %s", error,
                  port.failure.c_str());
    return error;
  }
  *opened = std::move(backend);
  return 0;
}
