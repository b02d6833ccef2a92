#include "gui/main_window.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

#include "bsl/host_bsl.h"
#include "gui/feedback_window.h"
#include "gui/main_window_dialogs.h"
#include "gui/main_window_texts.h"
#include "gui/main_window_ui.h"
#include "gui/port_combo_box.h"
#include "gui/run_bridge.h"

namespace {

// The classic client area: the window is never smaller, and grows to fit its texts.
constexpr int kClientWidth = 346;
constexpr int kClientHeight = 262;
constexpr int kNewSerialNumberMax = 15;
constexpr int kIconSize = 32;
constexpr int kOuterMargin = 12;
constexpr int kIconGap = 12;
constexpr int kLineSpacing = 2;
constexpr int kButtonMinimumWidth = 96;

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

void KeepRoomWhenHidden(QWidget* widget) {
  QSizePolicy policy = widget->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  widget->setSizePolicy(policy);
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
}

TfrmMain::~TfrmMain() {
  AbandonRun();
  ui_.reset();
}

void TfrmMain::BuildControls() {
  auto* client = Named(new QWidget(this), "client");
  setCentralWidget(client);
  auto* rows = new QVBoxLayout(client);
  rows->setContentsMargins(kOuterMargin, kOuterMargin, kOuterMargin, kOuterMargin);
  rows->addLayout(BuildHeader(client));
  lblConnect = Named(new QLabel(client), "lblConnect");
  MakeBold(lblConnect);
  rows->addWidget(lblConnect);
  rows->addWidget(BuildPanel(client));
  // Room to grow into; it also keeps the classic width when the texts need less.
  rows->addItem(new QSpacerItem(kClientWidth - 2 * kOuterMargin, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
  rows->addLayout(BuildButtons(client));
}

// The picture beside the two lines that say what the updater does.
QLayout* TfrmMain::BuildHeader(QWidget* client) {
  Image1 = Named(new QLabel(client), "Image1");
  Image1->setPixmap(UpdaterPicture());
  Image1->setFixedSize(kIconSize, kIconSize);
  userText1 = Named(new QLabel(client), "userText1");
  userText2 = Named(new QLabel(client), "userText2");
  MakeBold(userText2);
  auto* lines = new QVBoxLayout;
  lines->setSpacing(kLineSpacing);
  lines->addWidget(userText1);
  lines->addWidget(userText2);
  auto* header = new QHBoxLayout;
  header->setSpacing(kIconGap);
  header->addWidget(Image1, 0, Qt::AlignTop);
  header->addLayout(lines, 1);
  return header;
}

// The sunken panel: the port, the status of a run and the serial number of factory mode.
QWidget* TfrmMain::BuildPanel(QWidget* client) {
  Panel1 = Named(new QFrame(client), "Panel1");
  Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  commLabel = Named(new QLabel(Panel1), "commLabel");
  cbCommPort = Named(new PortComboBox(Panel1), "cbCommPort");
  cbCommPort->setToolTip(QStringLiteral("Pick your comm port from this list."));
  // A port label is never cut short: the window widens to the longest one listed.
  cbCommPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  MakeBold(cbCommPort);
  Label1 = Named(new QLabel(QStringLiteral("Status:"), Panel1), "Label1");
  MakeBold(Label1);
  statusText = Named(new QLabel(Panel1), "statusText");
  // Stage texts differ in length from run to run: they wrap rather than widen the window.
  statusText->setWordWrap(true);
  KeepRoomWhenHidden(statusText);
  statusText->hide();
  unfinishedLine_ = Named(new QLabel(Panel1), "unfinishedLine");
  unfinishedLine_->setWordWrap(true);
  unfinishedLine_->hide();
  statusBar = Named(new QProgressBar(Panel1), "statusBar");
  statusBar->setRange(0, 100);
  statusBar->setValue(0);
  statusBar->setTextVisible(false);
  newSN = Named(new QLabel(QStringLiteral("New Serial Number"), Panel1), "newSN");
  newSNstr = Named(new QLineEdit(Panel1), "newSNstr");
  newSNstr->setMaxLength(kNewSerialNumberMax);
  // The serial number row keeps its place, so ticking it does not move the panel.
  KeepRoomWhenHidden(newSN);
  KeepRoomWhenHidden(newSNstr);
  newSN->hide();
  newSNstr->hide();

  auto* status = new QHBoxLayout;
  status->addWidget(Label1, 0, Qt::AlignTop);
  status->addWidget(statusText, 1);
  auto* serial = new QHBoxLayout;
  serial->addWidget(newSN);
  serial->addWidget(newSNstr, 1);
  auto* rows = new QVBoxLayout(Panel1);
  rows->addWidget(commLabel);
  rows->addWidget(cbCommPort);
  rows->addLayout(status);
  rows->addWidget(unfinishedLine_);
  rows->addWidget(statusBar);
  rows->addLayout(serial);
  return Panel1;
}

QLayout* TfrmMain::BuildButtons(QWidget* client) {
  btnClose = Named(new QPushButton(QStringLiteral("Close"), client), "btnClose");
  btnStart = Named(new QPushButton(QStringLiteral("Start"), client), "btnStart");
  btnStart->setDefault(true);
  for (QPushButton* button : {btnClose, btnStart}) button->setMinimumWidth(kButtonMinimumWidth);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnClose);
  buttons->addStretch(1);
  buttons->addWidget(btnStart);
  return buttons;
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

bool TfrmMain::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::LayoutRequest) KeepWrappedLinesWhole();
  return handled;
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  KeepWrappedLinesWhole();
}

// Qt gives a window the minimum height of its layout without asking wrapped
// lines how tall they are at the window's width: a long stage text would be
// cut off at the bottom. The window keeps at least the height they need.
void TfrmMain::KeepWrappedLinesWhole() {
  const QWidget* client = centralWidget();
  if (client == nullptr || client->layout() == nullptr || layout() == nullptr) return;
  const int clientMinimum = client->layout()->totalMinimumSize().height();
  const int wrapped = client->layout()->totalMinimumHeightForWidth(client->width());  // -1: nothing wraps now
  const int menuHeight = layout()->totalMinimumSize().height() - clientMinimum;
  const int needed = std::max({kClientHeight, clientMinimum, wrapped}) + menuHeight;
  if (needed != minimumHeight()) setMinimumHeight(needed);
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
