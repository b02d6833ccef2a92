// TfrmWeb, the feedback window. Created once with the main window and shown
// again for every use; its HTTP client also serves the version finder.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

#include "web/feedback_post.h"
#include "web/version_finder.h"
#include "web/web_client.h"
#include "web/web_settings_qt.h"
#include "web/web_transport_qt.h"
#include "web/web_ui.h"

struct MessageLog;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class TfrmWeb : public QDialog {
  Q_OBJECT

 public:
  // ui answers the questions; without one, message boxes centred on mainWindow do.
  explicit TfrmWeb(QWidget* mainWindow = nullptr, WebUi* ui = nullptr);
  ~TfrmWeb() override;

  // The HTTP client (Qt Network); its host comes from the configuration (ConfiguredWebHost).
  WebClient& Client() { return client_; }
  // Where the form remembers the person's contact details.
  WebSettings& Settings() { return settings_; }

  // The quiet start-up check (reported false) and the menu's check (reported true).
  uint32_t StartVersionCheck(bool reported, uint32_t currentVersion, const std::string& path,
                             const std::string& deviceName);

  // The feedback menu command after the facts are gathered: hands them over,
  // prepares the error file and opens the form.
  void SendFeedback(const FeedbackInfo& info, const MessageLog* log);

  int SetFeedbackInfo(const FeedbackInfo& info);
  // Shows the form when the web host can be reached; false when it cannot.
  bool OpenFeedbackForm();

  void FormShow();
  void cbFeedbackTypeChange();
  void btnSendFileClick();
  void btnSendClick();
  int PostFeedback();

  void done(int result) override;  // every way the window closes passes here (FormClose)

 private:
  void BuildControls();
  FeedbackEntries Entries() const;
  QWidget* FieldWidget(FeedbackField field) const;
  void HTTPWorkBegin(int64_t total);
  void HTTPWork(int64_t sent);
  void HTTPWorkEnd();

  std::unique_ptr<WebUi> ownUi_;
  WebUi* ui_;
  QtWebTransport transport_;
  QtWebSettings settings_;
  WebClient client_;
  FeedbackInfo info_;
  std::string kind_;       // the feedback kind text
  std::string lastError_;  // the last post's failure
  std::string sendFilePath_;

  QLineEdit* edName = nullptr;
  QLineEdit* edCompany = nullptr;
  QLineEdit* edEmail = nullptr;
  QLineEdit* edTelephone = nullptr;
  QComboBox* cbFeedbackType = nullptr;
  QComboBox* cbRespondVia = nullptr;
  QLabel* lblDescription = nullptr;
  QPlainTextEdit* reDescription = nullptr;
  QLineEdit* edSendFile = nullptr;
  QPushButton* btnSendFile = nullptr;
  QLineEdit* edEmailTo = nullptr;
  QProgressBar* pbWeb = nullptr;
  QPushButton* btnSend = nullptr;
};
