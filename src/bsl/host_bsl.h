// The loader host engine: the one object through which the updater talks to
// a device's resident bootstrap loader. It holds its own port record, the
// firmware image to be written and the state of the loader connection.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "bsl/builtin_image.h"
#include "bsl/ti_text_reader.h"
#include "log/message_log.h"
#include "serial/serial_port.h"

// Result codes of the engine; lower layers' codes pass through unchanged.
constexpr int kBslRejected = -1;          // the loader answered "-", "?" or without "+"
constexpr int kBslMissingArgument = -10;
constexpr int kBslBadArgument = -11;
constexpr int kBslNotConnected = -21;     // also: no reply, a failed serial call, no answer to a probe
constexpr int kBslNoTry = -22;
constexpr int kBslCancelled = -40;
constexpr int kBslNoMemory = -60;
constexpr int kBslAlreadyActive = -80;
constexpr int kBslWaiting = -81;
constexpr int kBslImageCorrupt = -101;    // constructorError: the built-in image failed its check
constexpr int kBslUnexpected = -110;
constexpr int kBslNoLoader = -112;

constexpr size_t kCommandBufferSize = 544;  // letter, argument, ".XXXX\r" and a terminator must fit
constexpr int kMaxArgumentLength = 512;
constexpr int kMaxCommandValues = 128;
constexpr int kMaxReplyBytes = 20;
constexpr uint32_t kBootBaud = 9600;

// Progress phases passed to the hook.
constexpr int kProgressRunning = 1;
constexpr int kProgressFinished = 2;

// Called while erasing ('X') and uploading ('W') when showProgress is set;
// returning false cancels the operation with kBslCancelled.
using BslProgressHook = std::function<bool(int total, int done, int phase, char letter)>;

struct HostBSL {
  SerialPort port;
  uint32_t bslVersion = 0;      // the loader's version from the last BSLConnect
  std::string modelName;        // label of the held image, at most 64 characters
  uint32_t imageVersion = 0;    // 0 until a file has been loaded
  uint8_t deviceType = 0;
  int32_t constructorError = 0;
  std::string imageText;        // its size is the image length
  VectorTable vectorWords{};    // entry i is the word at 0xFFE0 + 2*i
  MessageLog* log = nullptr;
  bool connected = false;
  bool showProgress = false;
  uint32_t tryCount = 0;
  BslProgressHook progress;
  std::string commandBuffer;    // the frame being sent
  std::string blockBuffer;      // one data block being gathered

  // Never fails: check constructorError afterwards (kBslNoMemory, kBslImageCorrupt).
  HostBSL(MessageLog* messageLog, const BuiltInImage& image);
  ~HostBSL();
  HostBSL(const HostBSL&) = delete;
  HostBSL& operator=(const HostBSL&) = delete;
};

// Image files. A file the system would not open, read or write fails with its error number, negated.
int BSLLoadTIFile(HostBSL& engine, const std::string& path);
int BSLWriteTIFile(HostBSL& engine, const std::string& path);
// The system's reason for such a failure in a person's words ("No such file or folder."); empty
// for the engine's own results (not a firmware file, out of memory).
std::string TIFileErrorReason(int result);

// Framed commands. The reply holds at most kMaxReplyBytes bytes.
int BSLCommand(HostBSL& engine, char letter, const char* argument, int length, char waitFor, std::string* reply,
               int* elapsedMs);
int BSLCommand(HostBSL& engine, char letter, const uint32_t* values, int count, char waitFor, std::string* reply,
               int* elapsedMs, bool fiveDigits);
// The frame's checksum and the frame itself, as sent.
uint32_t BSLChecksum(char letter, std::string_view argument);
std::string BSLFrame(char letter, std::string_view argument);
// A reply's meaning: its byte count on success, kBslRejected or kBslNotConnected.
int BSLClassifyReply(std::string_view reply);
// "+%d+": the loader's version, when the reply to 'g' carries one.
bool BSLReadVersion(const std::string& reply, long* version);

// Connection.
int BSLConnect(HostBSL& engine, const std::string& portName, uint32_t baud, bool showProgress, uint32_t tries);
int BSLInvocation(HostBSL& engine, uint32_t baud);
int BSLAttach(HostBSL& engine);
int BSLCheck(HostBSL& engine, const std::string& portName, uint32_t baud);
int BSLHandOff(HostBSL& engine, PortBackend* handle, char* readBuffer, const std::string& portName, bool showProgress,
               uint32_t tries);
int BSLHandBack(HostBSL& engine);
int BSLDisconnect(HostBSL& engine);

// Transfer.
int BSLSendAddress(HostBSL& engine, uint32_t address, bool fiveDigits);
int BSLSendFirmware(HostBSL& engine, bool fiveDigits);
int BSLSendVectors(HostBSL& engine);
int BSLEraseINFO(HostBSL& engine, uint32_t first, uint32_t count, uint32_t step, bool fiveDigits);
int BSLEraseFlash(HostBSL& engine, uint32_t first, uint32_t end, bool fiveDigits);

// The log tag of every message of the engine.
constexpr const char* kBslTag = "VornBSL";
