#include "gui/main_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include "bsl/host_bsl.h"
#include "gui/feedback_window.h"
#include "gui/main_window_dialogs.h"
#include "gui/main_window_texts.h"
#include "gui/main_window_ui.h"
#include "gui/port_combo_box.h"
#include "gui/run_bridge.h"

namespace {

constexpr int kClientWidth = 346;
constexpr int kClientHeight = 262;
constexpr int kNewSerialNumberMax = 15;
constexpr int kIconSize = 32;

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

void MakeBold(QWidget* widget) {
  QFont font = widget->font();
  font.setBold(true);
  widget->setFont(font);
}

// The window's picture: a chip with its pins and an arrow going into it.
QPixmap UpdaterPicture() {
  QPixmap picture(kIconSize, kIconSize);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(60, 60, 60), 2));
  for (int pin = 8; pin <= 24; pin += 8) {
    painter.drawLine(pin, 2, pin, 7);
    painter.drawLine(pin, 25, pin, 30);
  }
  painter.setBrush(QColor(40, 90, 160));
  painter.drawRoundedRect(QRectF(4, 7, 24, 18), 3, 3);
  painter.setPen(QPen(Qt::white, 2));
  painter.drawLine(10, 16, 21, 16);
  painter.drawLine(17, 12, 21, 16);
  painter.drawLine(17, 20, 21, 16);
  return picture;
}

}  // namespace

TfrmMain::TfrmMain(MainWindowOptions options) : options_(std::move(options)) {
  dialogs_ = options_.dialogs;
  if (dialogs_ == nullptr) {
    ownDialogs_ = std::make_unique<QtDialogs>();
    dialogs_ = ownDialogs_.get();
  }
  setObjectName(QStringLiteral("frmMain"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(QIcon(UpdaterPicture()));
  BuildControls();
  BuildMenus();
  BuildTimers();
  ConnectControls();
  ui_ = std::make_unique<MainWindowUi>(this, statusText, statusBar, lblConnect, *dialogs_);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TfrmMain::~TfrmMain() {
  AbandonRun();
  ui_.reset();
}

void TfrmMain::BuildControls() {
  auto* client = Named(new QWidget(this), "client");
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  Image1 = Named(new QLabel(client), "Image1");
  Image1->setPixmap(UpdaterPicture());
  Image1->setGeometry(12, 10, kIconSize, kIconSize);
  userText1 = Named(new QLabel(client), "userText1");
  userText1->setGeometry(56, 8, 280, 18);
  userText2 = Named(new QLabel(client), "userText2");
  userText2->setGeometry(56, 28, 280, 18);
  MakeBold(userText2);
  lblConnect = Named(new QLabel(client), "lblConnect");
  lblConnect->setGeometry(12, 56, 322, 18);
  MakeBold(lblConnect);

  Panel1 = Named(new QFrame(client), "Panel1");
  Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Panel1->setGeometry(12, 80, 322, 138);
  commLabel = Named(new QLabel(Panel1), "commLabel");
  commLabel->setGeometry(10, 6, 302, 18);
  cbCommPort = Named(new PortComboBox(Panel1), "cbCommPort");
  cbCommPort->setGeometry(10, 26, 302, 26);
  cbCommPort->setToolTip(QStringLiteral("Pick your comm port from this list."));
  MakeBold(cbCommPort);
  Label1 = Named(new QLabel(QStringLiteral("Status:"), Panel1), "Label1");
  Label1->setGeometry(10, 60, 56, 18);
  MakeBold(Label1);
  statusText = Named(new QLabel(Panel1), "statusText");
  statusText->setGeometry(66, 60, 246, 18);
  statusText->hide();
  statusBar = Named(new QProgressBar(Panel1), "statusBar");
  statusBar->setGeometry(10, 82, 302, 18);
  statusBar->setRange(0, 100);
  statusBar->setValue(0);
  statusBar->setTextVisible(false);
  newSN = Named(new QLabel(QStringLiteral("New Serial Number"), Panel1), "newSN");
  newSN->setGeometry(10, 108, 130, 22);
  newSN->hide();
  newSNstr = Named(new QLineEdit(Panel1), "newSNstr");
  newSNstr->setGeometry(146, 108, 166, 22);
  newSNstr->setMaxLength(kNewSerialNumberMax);
  newSNstr->hide();

  btnClose = Named(new QPushButton(QStringLiteral("Close"), client), "btnClose");
  btnClose->setGeometry(12, 226, 96, 28);
  btnStart = Named(new QPushButton(QStringLiteral("Start"), client), "btnStart");
  btnStart->setGeometry(238, 226, 96, 28);
  btnStart->setDefault(true);
}

void TfrmMain::BuildTimers() {
  const auto timer = [this](const char* name, int intervalMs) {
    auto* made = Named(new QTimer(this), name);
    made->setInterval(intervalMs);
    return made;
  };
  timerStart = timer("timerStart", 100);
  timerEraseWarn = timer("timerEraseWarn", 500);
  timerConstructorErrors = timer("timerConstructorErrors", 100);
  tWebCheck = timer("tWebCheck", 500);
}

void TfrmMain::ConnectControls() {
  connect(btnStart, &QPushButton::clicked, this, [this] { btnStartClick(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
  connect(cbCommPort, &QComboBox::activated, this, [this](int index) { cbCommPortChange(index); });
  cbCommPort->onDropDown = [this] { cbCommPortDropDown(); };
  connect(timerStart, &QTimer::timeout, this, [this] { timerStartTimer(); });
  connect(timerEraseWarn, &QTimer::timeout, this, [this] { timerEraseWarnTimer(); });
  connect(timerConstructorErrors, &QTimer::timeout, this, [this] { timerConstructorErrorsTimer(); });
  connect(tWebCheck, &QTimer::timeout, this, [this] { tWebCheckTimer(); });

  // Escape is the Close button; Enter presses whichever button is the default.
  auto* escape = Named(new QShortcut(QKeySequence(Qt::Key_Escape), this), "EscapeShortcut");
  connect(escape, &QShortcut::activated, this, [this] {
    if (btnClose->isEnabled()) btnClose->click();
  });
  for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* enter = new QShortcut(QKeySequence(key), this);
    connect(enter, &QShortcut::activated, this, [this] {
      for (QPushButton* button : {btnStart, btnClose}) {
        if (button->isDefault() && button->isEnabled()) button->click();
      }
    });
  }
}

void TfrmMain::CentreOnScreen() {
  const QScreen* shownOn = screen();
  if (shownOn == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(shownOn->availableGeometry().center());
  move(frame.topLeft());
}

UpdateUi& TfrmMain::Ui() { return *ui_; }

void TfrmMain::SetWebWindow(TfrmWeb* web) { web_ = web; }

void TfrmMain::showEvent(QShowEvent* event) {
  if (!shown_) {
    shown_ = true;
    adjustSize();
    CentreOnScreen();
    FormShow();
  }
  QMainWindow::showEvent(event);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (!ConfirmClose()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

bool TfrmMain::ConfirmClose() {
  if (RunActive()) {
    dialogs_->Box(this, QString::fromStdString(DontQuitText(state_.caption, state_.modelName)),
                  QStringLiteral("Don't Quit Now!"), kBoxWarning);
    return false;
  }
  state_.keepGoing = false;
  return true;
}

void TfrmMain::ShowErrorBox(const std::string& text, const std::string& title, int kind) {
  dialogs_->Box(this, QString::fromStdString(text), QString::fromStdString(title), kind);
  if (log_ != nullptr) print_message(log_.get(), kLogFailure, kToldUserTag, "%s", text.c_str());
}

void TfrmMain::FormClose() {
  // A start still pending must not run on a closed window.
  for (QTimer* timer : {timerStart, timerEraseWarn, timerConstructorErrors, tWebCheck}) timer->stop();
  if (shown_) WritePreferences();
}
