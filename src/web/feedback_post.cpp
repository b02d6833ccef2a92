#include "web/feedback_post.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "log/message_log.h"
#include "log/platform.h"
#include "web/web_host.h"
#include "web/web_platform.h"
#include "web/web_settings.h"
#include "web/web_text.h"

namespace fs = std::filesystem;

namespace {

constexpr double kBytesPerMegabyte = 1048576.0;
constexpr char kMissingFile[] = "The system cannot find the file specified.";

// The remembered contact details, by their names in the preferences.
constexpr char kNameValue[] = "Name";
constexpr char kCompanyValue[] = "Company";
constexpr char kPhoneValue[] = "Phone";
constexpr char kEmailValue[] = "Email";
constexpr char kEmailToValue[] = "EmailTo";

std::string ErrorSuffix(const std::string& error) { return error.empty() ? std::string() : "\n\nError: " + error; }

// The file's name without its folder, by the system's separators.
std::string FileName(const std::string& path) { return Utf8FromPath(PathFromUtf8(path).filename()); }

bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(PathFromUtf8(path), error);
}

bool ReadAttachment(const std::string& path, std::string& bytes, std::string& failure) {
  if (!IsRegularFile(path)) {
    failure = kMissingFile;
    return false;
  }
  if (!ReadFileBytes(path, kMaxSendFileBytes, bytes, failure)) return false;
  if (static_cast<int64_t>(bytes.size()) > kMaxSendFileBytes) {
    failure = "The file is larger than 8 megabytes.";
    return false;
  }
  return true;
}

void ReportAttachFailure(WebUi& ui, const std::string& name, const std::string& failure) {
  const std::string head = "Error sending the file \"" + name + "\". ";
  std::string text;
  if (failure.find("cannot find the file") != std::string::npos) {
    text = head + "\nThe file is empty or can't be found on the system." +
           "\n\nPlease check your file name and try again.";
  } else if (failure.find("used by another process") != std::string::npos) {
    text = head + "\nThe file is open and in use with another application." +
           "\n\nPlease close the file and try again.";
  } else {
    text = head + "\n\nPlease try again." + ErrorSuffix(failure);
  }
  ui.AskUser(text, "Error Reading File", false, kBoxError);
}

std::string Stored(const WebSettings& settings, const char* name) {
  return settings.read(kFeedbackSettingsApplication, name).value_or("");
}

std::string Megabytes(uintmax_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / kBytesPerMegabyte);
  return text;
}

}  // namespace

FeedbackInfo MakeFeedbackInfo(const std::string& caption, const std::string& imageLabel, const std::string& errorFile,
                              const WebSettings* settings) {
  FeedbackInfo info;
  info.productName = caption;
  info.imageLabel = imageLabel;
  info.defaultRecipient = ConfiguredSupportEmail(settings);
  info.attachments[0] = errorFile;
  info.programFile = ProgramFilePath();
  const fs::path folder = PathFromUtf8(info.programFile).parent_path();
  if (!folder.empty()) info.programFolder = Utf8FromPath(folder / "");
  return info;
}

std::vector<std::string> FeedbackTypeItems() {
  return {"General Feedback", "Feature Suggestion", "Bug Report", "Other"};
}

std::vector<std::string> RespondViaItems() {
  return {"No response necessary", "Email", "Telephone (morning is best)", "Telephone (mid day is best)",
          "Telephone (afternoon is best)"};
}

std::string FeedbackKind(int feedbackType) {
  switch (feedbackType) {
    case 1: return "Feature Suggestion";
    case 2: return "Bug Report";
    case 3: return "Other Feedback";
    default: return "General Feedback";
  }
}

std::string FeedbackPrompt(int feedbackType) {
  switch (feedbackType) {
    case 1: return "Please describe the feature suggestion below";
    case 2: return "Please describe the bug or issue below";
    case 3: return "Please describe the other feedback below";
    default: return "Please describe the feedback below";
  }
}

EntryProblem CheckFeedbackEntries(const FeedbackEntries& entries) {
  const std::string missing = "Missing Information";
  const std::string badAddress = "Bad Email Address";
  if (entries.name.empty()) return {FeedbackField::Name, "Please enter your name in the name field", missing};
  if (entries.email.empty() && entries.telephone.empty() && entries.respondVia != kRespondViaNone) {
    return {FeedbackField::Telephone,
            std::string("Please enter your phone number or email address so Tessaly ") +
                "can respond to your feedback.",
            missing};
  }
  if (!entries.emailTo.empty() && entries.emailTo.find('@') == std::string::npos) {
    return {FeedbackField::EmailTo,
            std::string("The email address you entered for your Tessaly\n") + "Representative isn't complete.\n\n" +
                "Please enter a complete email address including\n" + "the '@' symbol and domain name.",
            badAddress};
  }
  const bool spaced = entries.email.find(' ') != std::string::npos;
  if (!entries.email.empty() && (entries.email.find('@') == std::string::npos || spaced)) {
    std::string text = std::string("The email address you entered doesn't seem to be correct.\n\n") +
                       "Please enter a complete email address including\n" + "the '@' symbol and domain name.";
    if (spaced) text += "\n\nPlease remove any space characters in the email address.";
    return {FeedbackField::Email, text, badAddress};
  }
  return {};
}

void LoadFeedbackSettings(const WebSettings& settings, FeedbackEntries& entries) {
  entries.name = Stored(settings, kNameValue);
  entries.company = Stored(settings, kCompanyValue);
  entries.telephone = Stored(settings, kPhoneValue);
  entries.email = Stored(settings, kEmailValue);
  entries.emailTo = Stored(settings, kEmailToValue);
}

void SaveFeedbackSettings(WebSettings& settings, const FeedbackEntries& entries) {
  settings.write(kFeedbackSettingsApplication, kNameValue, entries.name);
  settings.write(kFeedbackSettingsApplication, kCompanyValue, entries.company);
  settings.write(kFeedbackSettingsApplication, kPhoneValue, entries.telephone);
  settings.write(kFeedbackSettingsApplication, kEmailValue, entries.email);
  settings.write(kFeedbackSettingsApplication, kEmailToValue, entries.emailTo);
}

FeedbackEntries ShownFeedbackEntries(const WebSettings& settings, const FeedbackInfo& info) {
  FeedbackEntries entries;
  LoadFeedbackSettings(settings, entries);
  if (!info.registeredName.empty()) entries.name = info.registeredName;
  if (!info.registeredCompany.empty()) entries.company = info.registeredCompany;
  entries.respondVia = kRespondViaEmail;
  entries.feedbackType = 0;
  return entries;
}

std::vector<std::pair<std::string, std::string>> FeedbackFields(const FeedbackInfo& info,
                                                                const FeedbackEntries& entries) {
  const std::vector<std::string> respondVia = RespondViaItems();
  const bool chosen = entries.respondVia >= 0 && static_cast<size_t>(entries.respondVia) < respondVia.size();
  return {
      {"EmailTo", entries.emailTo.empty() ? info.defaultRecipient : entries.emailTo},
      {"EmailSubject", info.productName + " " + FeedbackKind(entries.feedbackType)},
      {"Name", entries.name},
      {"Company Name", entries.company},
      {"Email", entries.email},
      {"Telephone", entries.telephone},
      {"Respond Via", chosen ? respondVia[static_cast<size_t>(entries.respondVia)] : "Unknown RespondVia"},
      {"Registered Name", info.registeredName},
      {"Registered Company", info.registeredCompany},
      {"Software Version", info.productName + " version " + info.imageLabel},
      {"Installation Path", info.programFile},
      {"Computer Information", ComputerInformation()},
      {"Feedback", Utf8Prefix(entries.description, kMaxDescriptionLength)},
  };
}

bool AcceptSendFile(WebUi& ui, const std::string& path) {
  std::error_code error;
  const uintmax_t size = fs::file_size(PathFromUtf8(path), error);
  if (error || size <= static_cast<uintmax_t>(kMaxSendFileBytes)) return true;
  ui.AskUser("The file \"" + FileName(path) + "\" is too big.\n\n" +
                 "The maximun file size you can send with your feedback\n" + "is 8 megabytes (this file is " +
                 Megabytes(size) + " MB)." + "\n\nPlease choose a different file to send.",
             "File Size Error", false, kBoxError);
  return false;
}

bool AttachFile(MultipartForm& form, const std::string& path, bool report, WebUi& ui) {
  const std::string name = FileName(path);
  std::string bytes;
  std::string failure;
  if (!ReadAttachment(path, bytes, failure)) {
    if (report) ReportAttachFailure(ui, name, failure);
    return false;
  }
  AddFormFile(form, name, bytes);
  return true;
}

int PostFeedback(WebClient& client, WebUi& ui, const FeedbackInfo& info, const FeedbackEntries& entries,
                 std::string& errorText, const UploadProgress& progress) {
  errorText.clear();
  MultipartForm form;
  for (const auto& [name, value] : FeedbackFields(info, entries)) AddFormField(form, name, value);
  for (const std::string& path : info.attachments) {
    if (!path.empty()) AttachFile(form, path, false, ui);
  }
  if (!entries.sendFile.empty() && !AttachFile(form, entries.sendFile, true, ui)) return kFeedbackNotSent;

  const WebAnswer answer = WebPost(client, kFeedbackPath, form, kMaxFeedbackAnswerBytes, progress);
  if (!answer.ok) {
    errorText = answer.error;
    return kFeedbackFailed;
  }
  return answer.body.find(kFeedbackConfirmation) != std::string::npos ? kFeedbackSent : kFeedbackFailed;
}

void PrepareErrorFile(const MessageLog* log, const std::string& caption) {
  if (log == nullptr) return;
  if (FileSize(*log) > 0) {
    KeepTail(*log, kErrorFileTail);
    return;
  }
  print_message(log, kLogStep, caption.c_str(), "Launching web feedback with an empty error file.");
}

bool OpenFeedbackForm(WebClient& client, WebUi& ui) {
  const WebAnswer answer = WebGet(client, "/", kMaxHomePageBytes);
  if (answer.ok || answer.tooLarge) return true;
  ui.AskUser(std::string("Error connecting to Tessaly's customer feedback internet service.\n\n") +
                 "This feature requires your computer to be connected to the internet\n" +
                 "and be able to contact Tessaly's Web Site (" + WebHostName(client) + ")." +
                 "\n\nPlease make a connection to the internet and try again." + ErrorSuffix(answer.error),
             "Internet Access Error", false, kBoxError);
  return false;
}

std::string FeedbackThanks(const std::string& kind) { return "Thank you for submitting your " + kind + "."; }

std::string FeedbackFailure(const std::string& kind, const std::string& error) {
  return "There was an error trying to send your " + kind + " to Tessaly.\n\nPlease try again." + ErrorSuffix(error);
}
