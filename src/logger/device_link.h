// The command link to loggers and instruments: one ASCII command ending in a
// carriage return, an answer ending in a prompt. DeviceCommand is the one
// exchange every other command is built on; the rest of this header connects,
// logs in, identifies the device, changes the link speed, configures a radio
// modem and disconnects.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "log/message_log.h"
#include "logger/logger_settings.h"
#include "serial/serial_port.h"

// Result codes of the command layer (serial driver codes pass through unchanged).
constexpr int kLinkOk = 1;
constexpr int kLinkNothing = -1;   // nothing obtained, or the device cannot do it
constexpr int kLinkMissing = -10;  // missing argument, or invalid connection type
constexpr int kLinkInvalid = -11;  // invalid parameter or value
constexpr int kLinkRefused = -12;  // writing refused
constexpr int kLinkUnsupported = -13;
constexpr int kLinkNotListening = -20;  // nothing listening, or the host cannot change baud
constexpr int kLinkNoAnswer = -21;      // no answer at all after every try
constexpr int kLinkLastSilent = -22;    // no answer on the last try; or no disconnect
constexpr int kLinkRadioConfig = -23;
constexpr int kLinkNotUnderstood = -30;
constexpr int kLinkEmptyAnswer = -31;  // two carriage returns and the prompt
constexpr int kLinkEcho = -32;         // the device echoed the command
constexpr int kLinkRelay = -33;        // a relay must be active
constexpr int kLinkErrorAnswer = -34;  // "ERROR", '?' or "Unsupported"
constexpr int kLinkPartial = -35;      // some of several steps failed
constexpr int kLinkEmptyName = -36;
constexpr int kLinkIdentity = -37;  // erase refused: identity unknown or changed
constexpr int kLinkCancelled = -40;
constexpr int kLinkNoRadio = -45;
constexpr int kNameBadCharacter = -50;
constexpr int kNameForbidden = -51;
constexpr int kNameReserved = -52;
constexpr int kNameEmpty = -53;
constexpr int kNameTooLong = -54;
constexpr int kNameNotAscii = -56;
constexpr int kLinkNoMemory = -60;
constexpr int kLinkDataFlash = -65;
constexpr int kLinkLoader = -80;  // the bootstrap loader is listening
constexpr int kLinkLoaderPrompt = -81;

// Connection types.
constexpr uint8_t kConnectionNone = 0;
constexpr uint8_t kConnectionSerial = 10;
constexpr uint8_t kConnectionRadio = 30;

constexpr int kAnswerBufferSize = 2049;
constexpr int kMaxAnswerBytes = 2048;
constexpr uint32_t kLinkBaud = 9600;
constexpr uint8_t kBaudIndex9600 = 2;
constexpr int kBaudTableSize = 9;
// The rate of a baud index; 0 for an index outside the table.
uint32_t BaudOfIndex(int index);

struct LinkConfig {
  bool keepPortOpen = false;  // disconnecting and failed connections leave the port open at 9600
  uint32_t serialTries = 3;
  uint32_t radioTries = 5;
  bool progress = false;     // long operations call the progress hook
  int traceLevel = 0;        // 1 answers, 2 commands, 3 both
  uint32_t extraWaitMs = 0;  // added to every answer time-out
};

struct ConnectParams {
  std::string portName;
  uint8_t connectionType = kConnectionNone;
  uint8_t baudIndex = 0;   // 0 is taken as 2 (9600); the index in use comes back
  std::string deviceName;  // login name over the radio; empty: ask the device
  int32_t radioChannel = 0;
  int32_t radioSubChannel = 0;
  bool configureRadio = false;
};

// Time and the caller's hooks, replaceable so tests need not wait in real
// time. The defaults are the real clock, the message-pumping sleep and the
// log's progress and trace hooks.
struct LinkHooks {
  std::function<void(int milliseconds)> sleep = SleepPumping;
  std::function<uint32_t()> tick = MillisecondTick;
  std::function<bool(int total, int done, int phase)> progress = LogProgressHook;
  std::function<void(const char* text)> trace = LogTraceHook;
  // The setting bits a write of the settings loop has just had taken by the device.
  std::function<void(uint32_t bits)> settingsTaken;
};

struct DeviceLink {
  SerialPort port;  // the command line's port; other links may borrow it while it is open
  int status = kLinkOk;
  LinkConfig config;
  uint32_t currentTries = 3;
  uint32_t resets = 0;             // the device's reset counter from "show"
  std::vector<char> answerBuffer;  // raw text of the last answer, NUL-terminated
  int answerLength = 0;
  std::vector<char> readBuffer;  // lent to the port as its receive buffer
  MessageLog* log = nullptr;
  LoggerSettings settings;
  ConnectParams params;  // params.connectionType 0: not connected
  LinkHooks hooks;

  explicit DeviceLink(MessageLog* messageLog = nullptr);
  ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;
};

bool IsConnected(const DeviceLink& link);
// The raw text of the last answer heard.
std::string_view LastAnswer(const DeviceLink& link);

int ConfigureLink(DeviceLink& link, LinkConfig* config, int set);
int ConnectDevice(DeviceLink& link, ConnectParams* params);
int DisconnectDevice(DeviceLink& link);

// Sends one command and gathers the answer up to the wait character. The
// answer, when asked for, is cut to capacity - 1 characters. Returns the
// bytes heard, or a negative code (the answer is then empty).
int DeviceCommand(DeviceLink& link, std::string_view command, char waitFor, int timeoutMs, std::string* answer,
                  int capacity, int* elapsedMs);

int DeviceLogin(DeviceLink& link, std::string* name, uint8_t* baudIndex);
int QueryCommand(DeviceLink& link, std::string* name);
int SendWake(DeviceLink& link);
int LoginCommand(DeviceLink& link, const std::string* name);
int ValidateDeviceName(const std::string* name);
int VerCommand(DeviceLink& link, bool loginOnly);
int ParseShowCommand(DeviceLink& link, std::string* name);
int SetBaudCommand(DeviceLink& link, uint32_t rate);
// AT configuration of the radio modem. mask in: bits 10 (channel), 11
// (sub-channel), 12 (radio version, read only) wanted; out: the bits done.
int Rq4Config(DeviceLink& link, int32_t* channel, int32_t* subChannel, std::string* version, bool set, uint32_t* mask);
