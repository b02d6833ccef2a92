#include "gui/main_window.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <utility>

#include "gui/main_window_clock.h"
#include "gui/main_window_dialogs.h"
#include "gui/main_window_platform.h"
#include "gui/port_combo_box.h"

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

// The ports the options name, listed as the system's are.
PortLister ListerFor(std::function<PortSources()> ports) {
  if (!ports) return {};
  return [ports = std::move(ports)](const SerialPort& record, std::vector<CommPortEntry>* table, int* count,
                                    bool force) { return CommPortEnum(record, table, count, force, ports()); };
}

}  // namespace

TfrmMain::TfrmMain(MainWindowOptions options) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(QIcon(UpdaterPicture()));
  BuildControls();
  BuildMenus();
  WindowDialogs* dialogs = options.dialogs;
  if (dialogs == nullptr) {
    ownDialogs_ = std::make_unique<QtDialogs>(this);
    dialogs = ownDialogs_.get();
  }
  clock_ = std::make_unique<QtWindowClock>(this, [this](TimerId id) { core_->timer(id); });
  platform_ = std::make_unique<QtWindowPlatform>(std::move(options.arguments));
  core_ = std::make_unique<WindowCore>(WindowSeams{view_, *dialogs, *clock_, *platform_},
                                       WindowOptions{options.image, ListerFor(std::move(options.ports))});
  core_->SetWeb(&web_);
  ConnectControls();
}

// The core goes first: a run still active is let finish while the controls exist.
TfrmMain::~TfrmMain() { core_.reset(); }

void TfrmMain::BuildControls() {
  auto* client = Named(new QWidget(this), "client");
  setCentralWidget(client);
  auto* rows = new QVBoxLayout(client);
  rows->setContentsMargins(kOuterMargin, kOuterMargin, kOuterMargin, kOuterMargin);
  rows->addLayout(BuildHeader(client));
  controls_.lblConnect = Named(new QLabel(client), "lblConnect");
  MakeBold(controls_.lblConnect);
  rows->addWidget(controls_.lblConnect);
  rows->addWidget(BuildPanel(client));
  // Room to grow into; it also keeps the classic width when the texts need less.
  rows->addItem(new QSpacerItem(kClientWidth - 2 * kOuterMargin, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
  rows->addLayout(BuildButtons(client));
}

// The picture beside the two lines that say what the updater does.
QLayout* TfrmMain::BuildHeader(QWidget* client) {
  auto* image = Named(new QLabel(client), "Image1");
  image->setPixmap(UpdaterPicture());
  image->setFixedSize(kIconSize, kIconSize);
  MainWindowControls& c = controls_;
  c.userText1 = Named(new QLabel(client), "userText1");
  c.userText2 = Named(new QLabel(client), "userText2");
  MakeBold(c.userText2);
  auto* lines = new QVBoxLayout;
  lines->setSpacing(kLineSpacing);
  lines->addWidget(c.userText1);
  lines->addWidget(c.userText2);
  auto* header = new QHBoxLayout;
  header->setSpacing(kIconGap);
  header->addWidget(image, 0, Qt::AlignTop);
  header->addLayout(lines, 1);
  return header;
}

// The sunken panel: the port, the status of a run and the serial number of factory mode.
QWidget* TfrmMain::BuildPanel(QWidget* client) {
  auto* panel = Named(new QFrame(client), "Panel1");
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  MainWindowControls& c = controls_;
  c.commLabel = Named(new QLabel(panel), "commLabel");
  c.cbCommPort = Named(new PortComboBox(panel), "cbCommPort");
  c.cbCommPort->setToolTip(QStringLiteral("Pick your comm port from this list."));
  // A port label is never cut short: the window widens to the longest one listed.
  c.cbCommPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  MakeBold(c.cbCommPort);
  auto* statusLabel = Named(new QLabel(QStringLiteral("Status:"), panel), "Label1");
  MakeBold(statusLabel);
  c.statusText = Named(new QLabel(panel), "statusText");
  // Stage texts differ in length from run to run: they wrap rather than widen the window.
  c.statusText->setWordWrap(true);
  KeepRoomWhenHidden(c.statusText);
  c.statusText->hide();
  c.unfinishedLine = Named(new QLabel(panel), "unfinishedLine");
  c.unfinishedLine->setWordWrap(true);
  c.unfinishedLine->hide();
  c.statusBar = Named(new QProgressBar(panel), "statusBar");
  c.statusBar->setRange(0, 100);
  c.statusBar->setValue(0);
  c.statusBar->setTextVisible(true);
  c.newSN = Named(new QLabel(QStringLiteral("New Serial Number"), panel), "newSN");
  c.newSNstr = Named(new QLineEdit(panel), "newSNstr");
  c.newSNstr->setMaxLength(kNewSerialNumberMax);
  // The serial number row keeps its place, so ticking it does not move the panel.
  KeepRoomWhenHidden(c.newSN);
  KeepRoomWhenHidden(c.newSNstr);
  c.newSN->hide();
  c.newSNstr->hide();

  auto* status = new QHBoxLayout;
  status->addWidget(statusLabel, 0, Qt::AlignTop);
  status->addWidget(c.statusText, 1);
  auto* serial = new QHBoxLayout;
  serial->addWidget(c.newSN);
  serial->addWidget(c.newSNstr, 1);
  auto* rows = new QVBoxLayout(panel);
  rows->addWidget(c.commLabel);
  rows->addWidget(c.cbCommPort);
  rows->addLayout(status);
  rows->addWidget(c.unfinishedLine);
  rows->addWidget(c.statusBar);
  rows->addLayout(serial);
  return panel;
}

QLayout* TfrmMain::BuildButtons(QWidget* client) {
  MainWindowControls& c = controls_;
  c.btnClose = Named(new QPushButton(QStringLiteral("Close"), client), "btnClose");
  c.btnStart = Named(new QPushButton(QStringLiteral("Start"), client), "btnStart");
  c.btnStart->setDefault(true);
  for (QPushButton* button : {c.btnClose, c.btnStart}) button->setMinimumWidth(kButtonMinimumWidth);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(c.btnClose);
  buttons->addStretch(1);
  buttons->addWidget(c.btnStart);
  return buttons;
}

// The person's events go to the core as they are.
void TfrmMain::ConnectControls() {
  connect(controls_.btnStart, &QPushButton::clicked, this, [this] { core_->startPressed(); });
  connect(controls_.btnClose, &QPushButton::clicked, this, [this] { core_->closePressed(); });
  connect(controls_.cbCommPort, &QComboBox::activated, this, [this](int index) { core_->portPicked(index); });
  controls_.cbCommPort->onDropDown = [this] { core_->portListOpening(); };
}

// Return, Enter and Escape reach the window as a dialog's do: only when no control took
// them. Window shortcuts would fire while a popup is open too, so Return picking a port
// in the open list started the update and Escape closing the list closed the window.
void TfrmMain::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  const bool plain = modifiers == Qt::NoModifier || (modifiers == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (plain && event->key() == Qt::Key_Escape) {
    core_->keyPressed(Key::kEscape);
  } else if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    core_->keyPressed(Key::kEnter);
  } else {
    QMainWindow::keyPressEvent(event);
  }
}

void TfrmMain::CentreOnScreen() {
  const QScreen* shownOn = screen();
  if (shownOn == nullptr) return;
  QRect frame = frameGeometry();
  frame.moveCenter(shownOn->availableGeometry().center());
  move(frame.topLeft());
}

void TfrmMain::showEvent(QShowEvent* event) {
  // The core sets the texts at the first showing; the window is then fitted to them and
  // centred, so it does not grow off the centre afterwards.
  if (!core_->Shown()) {
    core_->shown();
    measureAfresh_ = true;
    FitToContents();
    CentreOnScreen();
  }
  QMainWindow::showEvent(event);
}

bool TfrmMain::event(QEvent* event) {
  // Text sizes change with the fonts and with the screen's DPI.
  if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange ||
      event->type() == QEvent::ScreenChangeInternal) {
    measureAfresh_ = true;
  }
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::LayoutRequest) FitToContents();
  return handled;
}

void TfrmMain::changeEvent(QEvent* event) {
  // A fixed border has no maximise; a window manager that maximises anyway is undone.
  if (event->type() == QEvent::WindowStateChange && isMaximized()) {
    setWindowState(windowState() & ~Qt::WindowMaximized);
  }
  QMainWindow::changeEvent(event);
}

// The window has a fixed border: its size is the one its contents need, and the person
// cannot change it. It grows when a text needs more room and otherwise keeps its size,
// so it does not jump as stage texts come and go; after a change of fonts or screen it
// is measured afresh. Qt gives a window the minimum height of its layout without asking
// wrapped lines how tall they are at the window's width, so those are asked here.
void TfrmMain::FitToContents() {
  const QWidget* client = centralWidget();
  if (client == nullptr || client->layout() == nullptr || layout() == nullptr) return;
  // Measured at once after texts change (at the first showing), nested layouts still hold the old sizes.
  client->layout()->activate();
  layout()->activate();
  const bool afresh = std::exchange(measureAfresh_, false);
  const QSize whole = layout()->totalMinimumSize();  // the menu bar over the client area
  const int clientMinimum = client->layout()->totalMinimumSize().height();
  const int menuHeight = whole.height() - clientMinimum;
  const int width = afresh ? whole.width() : std::max(whole.width(), this->width());
  const int wrapped = client->layout()->totalMinimumHeightForWidth(width);  // -1: nothing wraps
  int height = std::max({kClientHeight, clientMinimum, wrapped}) + menuHeight;
  if (!afresh) height = std::max(height, this->height());
  const QSize size(width, height);
  if (minimumSize() != size || maximumSize() != size) setFixedSize(size);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (core_->closeRequested()) {
    event->accept();
  } else {
    event->ignore();
  }
}
