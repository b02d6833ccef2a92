#include "gui/feedback_window.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "gui/web_ui_boxes.h"
#include "web/web_host.h"

namespace {

constexpr char kOpenDialogTitle[] = "Send File with Feedback";
constexpr char kOpenDialogFilter[] = "Any File Type (*)";

// The hourglass for as long as the object lives.
struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

QString Q(const std::string& text) { return QString::fromStdString(text); }

QStringList Items(const std::vector<std::string>& items) {
  QStringList list;
  for (const std::string& item : items) list << Q(item);
  return list;
}

int BarValue(int64_t bytes) { return static_cast<int>(std::clamp<int64_t>(bytes, 0, INT_MAX)); }

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

TfrmWeb::TfrmWeb(QWidget* mainWindow, WebUi* ui) : QDialog(mainWindow), ui_(ui) {
  if (ui_ == nullptr) {
    ownUi_ = std::make_unique<WebUiBoxes>(mainWindow != nullptr ? mainWindow : this);
    ui_ = ownUi_.get();
  }
  client_.transport = &transport_;
  client_.host = WebHostUrl(ConfiguredWebHost({}, &settings_));
  client_.transferTimeoutMs = ConfiguredWebTimeoutMs(kTransferTimeoutMs);
  client_.getDeadlineMs = ConfiguredWebTimeoutMs(kGetDeadlineMs);
  setWindowTitle(QStringLiteral("Send Feedback to VANTO"));
  BuildControls();
}

TfrmWeb::~TfrmWeb() = default;

void TfrmWeb::BuildControls() {
  edName = Named(new QLineEdit, "edName");
  edCompany = Named(new QLineEdit, "edCompany");
  edEmail = Named(new QLineEdit, "edEmail");
  edTelephone = Named(new QLineEdit, "edTelephone");
  cbFeedbackType = Named(new QComboBox, "cbFeedbackType");
  cbFeedbackType->addItems(Items(FeedbackTypeItems()));
  cbRespondVia = Named(new QComboBox, "cbRespondVia");
  cbRespondVia->addItems(Items(RespondViaItems()));
  lblDescription = Named(new QLabel, "lblDescription");
  reDescription = Named(new QPlainTextEdit, "reDescription");
  edSendFile = Named(new QLineEdit, "edSendFile");
  edSendFile->setReadOnly(true);
  btnSendFile = Named(new QPushButton(QStringLiteral("...")), "btnSendFile");
  edEmailTo = Named(new QLineEdit, "edEmailTo");
  pbWeb = Named(new QProgressBar, "pbWeb");
  pbWeb->hide();
  btnSend = Named(new QPushButton(QStringLiteral("Send")), "btnSend");
  btnSend->setDefault(true);

  auto* fields = new QGridLayout;
  const auto labelled = [&](const QString& label, QWidget* field, int row, int column) {
    fields->addWidget(new QLabel(label), row, column);
    fields->addWidget(field, row + 1, column);
  };
  labelled(QStringLiteral("Name (required)"), edName, 0, 0);
  labelled(QStringLiteral("Company Name"), edCompany, 0, 1);
  labelled(QStringLiteral("Email Address"), edEmail, 2, 0);
  labelled(QStringLiteral("Telephone (include area code)"), edTelephone, 2, 1);
  labelled(QStringLiteral("Type of feedback"), cbFeedbackType, 4, 0);
  labelled(QStringLiteral("Please respond via"), cbRespondVia, 4, 1);

  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(edSendFile);
  fileRow->addWidget(btnSendFile);
  auto* bottomRow = new QHBoxLayout;
  bottomRow->addWidget(pbWeb, 1);
  bottomRow->addStretch();
  bottomRow->addWidget(btnSend);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(lblDescription);
  layout->addWidget(reDescription);
  layout->addWidget(new QLabel(QStringLiteral("Send the following file (file size can be up to 6 MB):")));
  layout->addLayout(fileRow);
  layout->addWidget(new QLabel(QStringLiteral("Send the feedback to my VANTO Group Representative's email address:")));
  layout->addWidget(edEmailTo);
  layout->addLayout(bottomRow);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(cbFeedbackType, &QComboBox::currentIndexChanged, this, [this] { cbFeedbackTypeChange(); });
  connect(btnSendFile, &QPushButton::clicked, this, [this] { btnSendFileClick(); });
  connect(btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
  connect(reDescription, &QPlainTextEdit::textChanged, this, [this] {
    constexpr auto kMaxCharacters = static_cast<qsizetype>(kMaxDescriptionLength);
    if (reDescription->toPlainText().size() <= kMaxCharacters) return;
    reDescription->setPlainText(reDescription->toPlainText().left(kMaxCharacters));
    reDescription->moveCursor(QTextCursor::End);
  });
}

uint32_t TfrmWeb::StartVersionCheck(bool reported, uint32_t currentVersion, const std::string& path,
                                    const std::string& deviceName) {
  return ::StartVersionCheck(client_, *ui_, reported, currentVersion, path, deviceName);
}

void TfrmWeb::SendFeedback(const FeedbackInfo& info, const MessageLog* log) {
  SetFeedbackInfo(info);
  PrepareErrorFile(log, info.productName);
  OpenFeedbackForm();
}

int TfrmWeb::SetFeedbackInfo(const FeedbackInfo& info) {
  info_ = info;
  return 1;
}

bool TfrmWeb::OpenFeedbackForm() {
  if (!::OpenFeedbackForm(client_, *ui_)) return false;
  // A second call while the form is open keeps what has been entered.
  if (!isVisible()) {
    FormShow();
    show();
  }
  raise();
  activateWindow();
  return true;
}

void TfrmWeb::FormShow() {
  const FeedbackEntries shown = ShownFeedbackEntries(settings_, info_);
  edName->setText(Q(shown.name));
  edCompany->setText(Q(shown.company));
  edTelephone->setText(Q(shown.telephone));
  edEmail->setText(Q(shown.email));
  edEmailTo->setText(Q(shown.emailTo));
  edSendFile->clear();
  sendFilePath_.clear();
  reDescription->setPlainText(Q(shown.description));
  cbRespondVia->setCurrentIndex(shown.respondVia);
  cbFeedbackType->setCurrentIndex(shown.feedbackType);
  cbFeedbackTypeChange();
  pbWeb->hide();
}

void TfrmWeb::cbFeedbackTypeChange() {
  kind_ = FeedbackKind(cbFeedbackType->currentIndex());
  lblDescription->setText(Q(FeedbackPrompt(cbFeedbackType->currentIndex())));
}

void TfrmWeb::btnSendFileClick() {
  edSendFile->clear();
  sendFilePath_.clear();
  const std::string path = ui_->ChooseFile(kOpenDialogTitle, info_.programFolder, kOpenDialogFilter);
  if (path.empty() || !AcceptSendFile(*ui_, path)) return;
  edSendFile->setText(QFileInfo(Q(path)).fileName());
  sendFilePath_ = path;
}

void TfrmWeb::btnSendClick() {
  const FeedbackEntries entries = Entries();
  const EntryProblem problem = CheckFeedbackEntries(entries);
  if (problem.field != FeedbackField::None) {
    ui_->AskUser(problem.text, problem.caption, false, kBoxWarning);
    FieldWidget(problem.field)->setFocus();
    return;
  }
  int result = kFeedbackFailed;
  btnSend->setEnabled(false);
  {
    const WaitCursor hourglass;
    SaveFeedbackSettings(settings_, entries);
    result = PostFeedback();
  }
  btnSend->setEnabled(true);

  if (result == kFeedbackSent) {
    hide();
    QCoreApplication::processEvents();
    ui_->AskUser(FeedbackThanks(kind_), "Feedback Successfully Sent", false, kBoxInformation);
    close();
  } else if (result == kFeedbackFailed && isVisible()) {
    ui_->AskUser(FeedbackFailure(kind_, lastError_), "Error Sending Feedback", false, kBoxWarning);
  }
}

int TfrmWeb::PostFeedback() {
  UploadProgress progress;
  progress.begin = [this](int64_t total) { HTTPWorkBegin(total); };
  progress.work = [this](int64_t sent) { HTTPWork(sent); };
  progress.end = [this] { HTTPWorkEnd(); };
  return ::PostFeedback(client_, *ui_, info_, Entries(), lastError_, progress);
}

void TfrmWeb::done(int result) {
  // Closing during a transfer cuts it off; whatever that reports is of no interest.
  WebAbort(client_);
  QDialog::done(result);
}

FeedbackEntries TfrmWeb::Entries() const {
  FeedbackEntries entries;
  entries.name = edName->text().toStdString();
  entries.company = edCompany->text().toStdString();
  entries.email = edEmail->text().toStdString();
  entries.telephone = edTelephone->text().toStdString();
  entries.respondVia = cbRespondVia->currentIndex();
  entries.feedbackType = cbFeedbackType->currentIndex();
  entries.description = reDescription->toPlainText().toStdString();
  entries.emailTo = edEmailTo->text().toStdString();
  entries.sendFile = edSendFile->text().isEmpty() ? std::string() : sendFilePath_;
  return entries;
}

QWidget* TfrmWeb::FieldWidget(FeedbackField field) const {
  switch (field) {
    case FeedbackField::Telephone: return edTelephone;
    case FeedbackField::EmailTo: return edEmailTo;
    case FeedbackField::Email: return edEmail;
    default: return edName;
  }
}

void TfrmWeb::HTTPWorkBegin(int64_t total) {
  pbWeb->setRange(0, BarValue(total));
  pbWeb->setValue(0);
  pbWeb->setVisible(total > kShowProgressAbove);
}

void TfrmWeb::HTTPWork(int64_t sent) { pbWeb->setValue(BarValue(sent)); }

void TfrmWeb::HTTPWorkEnd() { pbWeb->hide(); }
