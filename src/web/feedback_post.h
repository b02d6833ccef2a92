// The feedback form without its window: the facts the main window hands over,
// the person's entries and their checks, the remembered contact details, and
// the multipart post with the error file attached.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <utility>

#include "web/web_client.h"
#include "web/web_ui.h"

struct MessageLog;
class QHttpMultiPart;

constexpr int kFeedbackSent = 1;       // posted and confirmed by the script
constexpr int kFeedbackNotSent = 0;    // the chosen file could not be read; already reported
constexpr int kFeedbackFailed = -1000;  // the post failed or was not confirmed

constexpr qint64 kMaxSendFileBytes = 8388608;    // 8 MB
constexpr qint64 kShowProgressAbove = 2097152;  // uploads above 2 MB show the bar
constexpr long kErrorFileTail = 32768;
constexpr int kMaxDescriptionLength = 2048;
constexpr qint64 kMaxFeedbackAnswerBytes = 1024 * 1024;
constexpr qint64 kMaxHomePageBytes = 1024 * 1024;  // past this the host has answered anyway

inline constexpr char kFeedbackPath[] = "/php-bin/app_feedback.php";
inline constexpr char kFeedbackConfirmation[] = "Script Completed";
inline constexpr char kFeedbackSettingsApplication[] = "FeedbackForm";

constexpr int kRespondViaNone = 0;  // "No response necessary"
constexpr int kRespondViaEmail = 1;

// The facts the main window hands over before each showing.
struct FeedbackInfo {
  QString productName;  // the main window's caption
  QString imageLabel;   // the held image's model name
  QString registeredName;
  QString registeredCompany;
  QString defaultRecipient;             // used when no representative's address is entered
  std::array<QString, 3> attachments;  // the error file first; empty entries are skipped
  QString programFolder;                // with a trailing separator
};

// The facts of this program: the caption, the image's label and the error file's path.
FeedbackInfo MakeFeedbackInfo(const QString& caption, const QString& imageLabel, const QString& errorFile);

// What the person entered.
struct FeedbackEntries {
  QString name;
  QString company;
  QString email;
  QString telephone;
  int respondVia = kRespondViaEmail;  // index into RespondViaItems(); -1 when none is chosen
  int feedbackType = 0;               // index into FeedbackTypeItems()
  QString description;
  QString emailTo;   // the representative's address
  QString sendFile;  // full path of the chosen file; empty when none
};

QStringList FeedbackTypeItems();
QStringList RespondViaItems();
QString FeedbackKind(int feedbackType);    // "General Feedback", ..., "Other Feedback"
QString FeedbackPrompt(int feedbackType);  // the description's label

enum class FeedbackField { None, Name, Telephone, EmailTo, Email };

struct EntryProblem {
  FeedbackField field = FeedbackField::None;  // the field to put the focus on; None: all fine
  QString text;
  QString caption;
};

// The four checks, in order; the first that fails.
EntryProblem CheckFeedbackEntries(const FeedbackEntries& entries);

// The remembered contact details: name, company, telephone, e-mail and representative.
void LoadFeedbackSettings(FeedbackEntries& entries);
void SaveFeedbackSettings(const FeedbackEntries& entries);

// The text fields of the post, in order.
QList<std::pair<QString, QString>> FeedbackFields(const FeedbackInfo& info, const FeedbackEntries& entries);

// True when the chosen file is small enough to send; otherwise says so.
bool AcceptSendFile(WebUi& ui, const QString& path);

// Adds the file as a file part; on failure, and only when reporting, says why.
bool AttachFile(QHttpMultiPart& form, const QString& path, bool report, WebUi& ui);

// Posts everything; errorText gets the failure's message.
int PostFeedback(WebClient& client, WebUi& ui, const FeedbackInfo& info, const FeedbackEntries& entries,
                 QString& errorText, const UploadProgress& progress = {});

// Cuts a non-empty error file to its last lines; notes an empty one in the log.
void PrepareErrorFile(const MessageLog* log, const QString& caption);

// True when the web host answers; otherwise says it cannot be reached.
bool OpenFeedbackForm(WebClient& client, WebUi& ui);

QString FeedbackThanks(const QString& kind);
QString FeedbackFailure(const QString& kind, const QString& error);
