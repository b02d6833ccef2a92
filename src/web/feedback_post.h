// The feedback form without its window: the facts the main window hands over, the
// person's entries and their checks, the remembered contact details, and the
// multipart post with the error file attached.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "web/multipart_form.h"
#include "web/web_client.h"
#include "web/web_ui.h"

struct MessageLog;
struct WebSettings;

constexpr int kFeedbackSent = 1;        // posted and confirmed by the script
constexpr int kFeedbackNotSent = 0;     // the chosen file could not be read; already reported
constexpr int kFeedbackFailed = -1000;  // the post failed or was not confirmed

constexpr int64_t kMaxSendFileBytes = 8388608;    // 8 MB
constexpr int64_t kShowProgressAbove = 2097152;  // uploads above 2 MB show the bar
constexpr long kErrorFileTail = 32768;
constexpr size_t kMaxDescriptionLength = 2048;
constexpr int64_t kMaxFeedbackAnswerBytes = 1024 * 1024;
constexpr int64_t kMaxHomePageBytes = 1024 * 1024;  // past this the host has answered anyway

inline constexpr char kFeedbackPath[] = "/php-bin/app_feedback.php";
inline constexpr char kFeedbackConfirmation[] = "Script Completed";
inline constexpr char kFeedbackSettingsApplication[] = "FeedbackForm";

constexpr int kRespondViaNone = 0;  // "No response necessary"
constexpr int kRespondViaEmail = 1;

// The facts the main window hands over before each showing.
struct FeedbackInfo {
  std::string productName;  // the main window's caption
  std::string imageLabel;   // the held image's model name
  std::string registeredName;
  std::string registeredCompany;
  std::string defaultRecipient;             // used when no representative's address is entered
  std::array<std::string, 3> attachments;  // the error file first; empty entries are skipped
  std::string programFile;                  // the running program, sent as its installation path
  std::string programFolder;                // with a trailing separator
};

// The facts of this program: the caption, the image's label, the error file's path and
// the recipient from the configuration (settings may be null).
FeedbackInfo MakeFeedbackInfo(const std::string& caption, const std::string& imageLabel, const std::string& errorFile,
                              const WebSettings* settings);

// What the person entered.
struct FeedbackEntries {
  std::string name;
  std::string company;
  std::string email;
  std::string telephone;
  int respondVia = kRespondViaEmail;  // index into RespondViaItems(); -1 when none is chosen
  int feedbackType = 0;               // index into FeedbackTypeItems()
  std::string description;
  std::string emailTo;   // the representative's address
  std::string sendFile;  // full path of the chosen file; empty when none
};

std::vector<std::string> FeedbackTypeItems();
std::vector<std::string> RespondViaItems();
std::string FeedbackKind(int feedbackType);    // "General Feedback", ..., "Other Feedback"
std::string FeedbackPrompt(int feedbackType);  // the description's label

enum class FeedbackField { None, Name, Telephone, EmailTo, Email };

struct EntryProblem {
  FeedbackField field = FeedbackField::None;  // the field to put the focus on; None: all fine
  std::string text;
  std::string caption;
};

// The four checks, in order; the first that fails.
EntryProblem CheckFeedbackEntries(const FeedbackEntries& entries);

// The remembered contact details: name, company, telephone, e-mail and representative.
void LoadFeedbackSettings(const WebSettings& settings, FeedbackEntries& entries);
void SaveFeedbackSettings(WebSettings& settings, const FeedbackEntries& entries);

// What the form shows when it opens: the remembered details (a registered name or company
// in their place), nothing described, no file, "Email" to respond and general feedback.
FeedbackEntries ShownFeedbackEntries(const WebSettings& settings, const FeedbackInfo& info);

// The text fields of the post, in order.
std::vector<std::pair<std::string, std::string>> FeedbackFields(const FeedbackInfo& info,
                                                                const FeedbackEntries& entries);

// True when the chosen file is small enough to send; otherwise says so.
bool AcceptSendFile(WebUi& ui, const std::string& path);

// Adds the file as a file part; on failure, and only when reporting, says why.
bool AttachFile(MultipartForm& form, const std::string& path, bool report, WebUi& ui);

// Posts everything; errorText gets the failure's message.
int PostFeedback(WebClient& client, WebUi& ui, const FeedbackInfo& info, const FeedbackEntries& entries,
                 std::string& errorText, const UploadProgress& progress = {});

// Cuts a non-empty error file to its last lines; notes an empty one in the log.
void PrepareErrorFile(const MessageLog* log, const std::string& caption);

// True when the web host answers; otherwise says it cannot be reached.
bool OpenFeedbackForm(WebClient& client, WebUi& ui);

std::string FeedbackThanks(const std::string& kind);
std::string FeedbackFailure(const std::string& kind, const std::string& error);
