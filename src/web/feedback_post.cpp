#include "web/feedback_post.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QMimeDatabase>
#include <QSettings>

#include <memory>

#include "log/message_log.h"
#include "web/computer_information.h"
#include "web/web_host.h"

namespace {

constexpr double kBytesPerMegabyte = 1048576.0;
constexpr char kMissingFile[] = "The system cannot find the file specified.";

QString ErrorSuffix(const QString& error) {
  return error.isEmpty() ? QString() : QStringLiteral("\n\nError: ") + error;
}

// A file name inside a quoted header parameter: no quote or line break may end it early.
QByteArray HeaderSafe(const QString& text) {
  QByteArray bytes = text.toUtf8();
  for (char& c : bytes) {
    if (c == '"' || c == '\\' || c == '\r' || c == '\n') c = '_';
  }
  return bytes;
}

void AddField(QHttpMultiPart& form, const QString& name, const QString& value) {
  QHttpPart part;
  part.setRawHeader("Content-Disposition", "form-data; name=\"" + HeaderSafe(name) + '"');
  part.setBody(value.toUtf8());
  form.append(part);
}

bool ReadAttachment(const QString& path, QByteArray& bytes, QString& failure) {
  const QFileInfo info(path);
  if (!info.exists() || !info.isFile()) {
    failure = kMissingFile;
    return false;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    failure = file.errorString();
    return false;
  }
  bytes = file.read(kMaxSendFileBytes + 1);
  if (bytes.size() > kMaxSendFileBytes) {
    failure = QStringLiteral("The file is larger than 8 megabytes.");
    return false;
  }
  if (file.error() != QFileDevice::NoError) {
    failure = file.errorString();
    return false;
  }
  return true;
}

void ReportAttachFailure(WebUi& ui, const QString& name, const QString& failure) {
  const QString head = QStringLiteral("Error sending the file \"") + name + QStringLiteral("\". ");
  QString text;
  if (failure.contains(QLatin1String("cannot find the file"))) {
    text = head + QStringLiteral("\nThe file is empty or can't be found on the system.") +
           QStringLiteral("\n\nPlease check your file name and try again.");
  } else if (failure.contains(QLatin1String("used by another process"))) {
    text = head + QStringLiteral("\nThe file is open and in use with another application.") +
           QStringLiteral("\n\nPlease close the file and try again.");
  } else {
    text = head + QStringLiteral("\n\nPlease try again.") + ErrorSuffix(failure);
  }
  ui.AskUser(text, QStringLiteral("Error Reading File"), false, kBoxError);
}

}  // namespace

FeedbackInfo MakeFeedbackInfo(const QString& caption, const QString& imageLabel, const QString& errorFile) {
  FeedbackInfo info;
  info.productName = caption;
  info.imageLabel = imageLabel;
  info.defaultRecipient = ConfiguredSupportEmail();
  info.attachments[0] = errorFile;
  info.programFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + u'/');
  return info;
}

QStringList FeedbackTypeItems() {
  return {QStringLiteral("General Feedback"), QStringLiteral("Feature Suggestion"), QStringLiteral("Bug Report"),
          QStringLiteral("Other")};
}

QStringList RespondViaItems() {
  return {QStringLiteral("No response necessary"), QStringLiteral("Email"),
          QStringLiteral("Telephone (morning is best)"), QStringLiteral("Telephone (mid day is best)"),
          QStringLiteral("Telephone (afternoon is best)")};
}

QString FeedbackKind(int feedbackType) {
  switch (feedbackType) {
    case 1: return QStringLiteral("Feature Suggestion");
    case 2: return QStringLiteral("Bug Report");
    case 3: return QStringLiteral("Other Feedback");
    default: return QStringLiteral("General Feedback");
  }
}

QString FeedbackPrompt(int feedbackType) {
  switch (feedbackType) {
    case 1: return QStringLiteral("Please describe the feature suggestion below");
    case 2: return QStringLiteral("Please describe the bug or issue below");
    case 3: return QStringLiteral("Please describe the other feedback below");
    default: return QStringLiteral("Please describe the feedback below");
  }
}

EntryProblem CheckFeedbackEntries(const FeedbackEntries& entries) {
  const QString missing = QStringLiteral("Missing Information");
  const QString badAddress = QStringLiteral("Bad Email Address");
  if (entries.name.isEmpty()) {
    return {FeedbackField::Name, QStringLiteral("Please enter your name in the name field"), missing};
  }
  if (entries.email.isEmpty() && entries.telephone.isEmpty() && entries.respondVia != kRespondViaNone) {
    return {FeedbackField::Telephone,
            QStringLiteral("Please enter your phone number or email address so Tessaly ") +
                QStringLiteral("can respond to your feedback."),
            missing};
  }
  if (!entries.emailTo.isEmpty() && !entries.emailTo.contains(u'@')) {
    return {FeedbackField::EmailTo,
            QStringLiteral("The email address you entered for your Tessaly\n") +
                QStringLiteral("Representative isn't complete.\n\n") +
                QStringLiteral("Please enter a complete email address including\n") +
                QStringLiteral("the '@' symbol and domain name."),
            badAddress};
  }
  const bool spaced = entries.email.contains(u' ');
  if (!entries.email.isEmpty() && (!entries.email.contains(u'@') || spaced)) {
    QString text = QStringLiteral("The email address you entered doesn't seem to be correct.\n\n") +
                   QStringLiteral("Please enter a complete email address including\n") +
                   QStringLiteral("the '@' symbol and domain name.");
    if (spaced) text += QStringLiteral("\n\nPlease remove any space characters in the email address.");
    return {FeedbackField::Email, text, badAddress};
  }
  return {};
}

void LoadFeedbackSettings(FeedbackEntries& entries) {
  const QSettings settings(kSettingsOrganisation, kFeedbackSettingsApplication);
  entries.name = settings.value(QStringLiteral("Name")).toString();
  entries.company = settings.value(QStringLiteral("Company")).toString();
  entries.telephone = settings.value(QStringLiteral("Phone")).toString();
  entries.email = settings.value(QStringLiteral("Email")).toString();
  entries.emailTo = settings.value(QStringLiteral("EmailTo")).toString();
}

void SaveFeedbackSettings(const FeedbackEntries& entries) {
  QSettings settings(kSettingsOrganisation, kFeedbackSettingsApplication);
  settings.setValue(QStringLiteral("Name"), entries.name);
  settings.setValue(QStringLiteral("Company"), entries.company);
  settings.setValue(QStringLiteral("Phone"), entries.telephone);
  settings.setValue(QStringLiteral("Email"), entries.email);
  settings.setValue(QStringLiteral("EmailTo"), entries.emailTo);
}

QList<std::pair<QString, QString>> FeedbackFields(const FeedbackInfo& info, const FeedbackEntries& entries) {
  const QStringList respondVia = RespondViaItems();
  const bool chosen = entries.respondVia >= 0 && entries.respondVia < respondVia.size();
  return {
      {QStringLiteral("EmailTo"), entries.emailTo.isEmpty() ? info.defaultRecipient : entries.emailTo},
      {QStringLiteral("EmailSubject"), info.productName + u' ' + FeedbackKind(entries.feedbackType)},
      {QStringLiteral("Name"), entries.name},
      {QStringLiteral("Company Name"), entries.company},
      {QStringLiteral("Email"), entries.email},
      {QStringLiteral("Telephone"), entries.telephone},
      {QStringLiteral("Respond Via"), chosen ? respondVia[entries.respondVia] : QStringLiteral("Unknown RespondVia")},
      {QStringLiteral("Registered Name"), info.registeredName},
      {QStringLiteral("Registered Company"), info.registeredCompany},
      {QStringLiteral("Software Version"), info.productName + QStringLiteral(" version ") + info.imageLabel},
      {QStringLiteral("Installation Path"), QDir::toNativeSeparators(QCoreApplication::applicationFilePath())},
      {QStringLiteral("Computer Information"), ComputerInformation()},
      {QStringLiteral("Feedback"), entries.description.left(kMaxDescriptionLength)},
  };
}

bool AcceptSendFile(WebUi& ui, const QString& path) {
  const QFileInfo info(path);
  if (info.size() <= kMaxSendFileBytes) return true;
  const QString megabytes = QString::number(static_cast<double>(info.size()) / kBytesPerMegabyte, 'f', 1);
  ui.AskUser(QStringLiteral("The file \"") + info.fileName() + QStringLiteral("\" is too big.\n\n") +
                 QStringLiteral("The maximun file size you can send with your feedback\n") +
                 QStringLiteral("is 8 megabytes (this file is ") + megabytes + QStringLiteral(" MB).") +
                 QStringLiteral("\n\nPlease choose a different file to send."),
             QStringLiteral("File Size Error"), false, kBoxError);
  return false;
}

bool AttachFile(QHttpMultiPart& form, const QString& path, bool report, WebUi& ui) {
  const QString name = QFileInfo(path).fileName();
  QByteArray bytes;
  QString failure;
  if (!ReadAttachment(path, bytes, failure)) {
    if (report) ReportAttachFailure(ui, name, failure);
    return false;
  }
  const QString type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
  QHttpPart part;
  part.setRawHeader("Content-Disposition",
                    "form-data; name=\"" + HeaderSafe(name) + "\"; filename=\"" + HeaderSafe(name) + '"');
  part.setRawHeader("Content-Type", type.toUtf8());
  part.setBody(bytes);
  form.append(part);
  return true;
}

int PostFeedback(WebClient& client, WebUi& ui, const FeedbackInfo& info, const FeedbackEntries& entries,
                 QString& errorText, const UploadProgress& progress) {
  errorText.clear();
  auto form = std::make_unique<QHttpMultiPart>(QHttpMultiPart::FormDataType);
  for (const auto& [name, value] : FeedbackFields(info, entries)) AddField(*form, name, value);
  for (const QString& path : info.attachments) {
    if (!path.isEmpty()) AttachFile(*form, path, false, ui);
  }
  if (!entries.sendFile.isEmpty() && !AttachFile(*form, entries.sendFile, true, ui)) return kFeedbackNotSent;

  const WebAnswer answer = WebPost(client, kFeedbackPath, std::move(form), kMaxFeedbackAnswerBytes, progress);
  if (!answer.ok) {
    errorText = answer.error;
    return kFeedbackFailed;
  }
  return answer.body.contains(kFeedbackConfirmation) ? kFeedbackSent : kFeedbackFailed;
}

void PrepareErrorFile(const MessageLog* log, const QString& caption) {
  if (log == nullptr) return;
  if (FileSize(*log) > 0) {
    KeepTail(*log, kErrorFileTail);
    return;
  }
  print_message(log, kLogStep, caption.toUtf8().constData(), "Launching web feedback with an empty error file.");
}

bool OpenFeedbackForm(WebClient& client, WebUi& ui) {
  const WebAnswer answer = WebGet(client, QStringLiteral("/"), kMaxHomePageBytes);
  if (answer.ok || answer.tooLarge) return true;
  ui.AskUser(QStringLiteral("Error connecting to Tessaly's customer feedback internet service.\n\n") +
                 QStringLiteral("This feature requires your computer to be connected to the internet\n") +
                 QStringLiteral("and be able to contact Tessaly's Web Site (") + WebHostName(client) +
                 QStringLiteral(").") + QStringLiteral("\n\nPlease make a connection to the internet and try again.") +
                 ErrorSuffix(answer.error),
             QStringLiteral("Internet Access Error"), false, kBoxError);
  return false;
}

QString FeedbackThanks(const QString& kind) {
  return QStringLiteral("Thank you for submitting your ") + kind + u'.';
}

QString FeedbackFailure(const QString& kind, const QString& error) {
  return QStringLiteral("There was an error trying to send your ") + kind +
         QStringLiteral(" to Tessaly.\n\nPlease try again.") + ErrorSuffix(error);
}
