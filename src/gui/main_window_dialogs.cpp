#include "gui/main_window_dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QListWidget>
#include <QScrollArea>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

#include "app/box_kinds.h"
#include "app/update_ui.h"
#include "gui/message_box.h"
#include "gui/network_ports_dialog.h"

namespace {

constexpr char kFilterSeparator[] = ";;";

QString Q(const std::string& text) { return QString::fromStdString(text); }

QMessageBox::Icon BoxIcon(int kind) {
  switch (kind) {
    case kBoxWarning: return QMessageBox::Warning;
    case kBoxError: return QMessageBox::Critical;
    case kBoxInformation: return QMessageBox::Information;
    case kBoxConfirmation: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
  }
}

// A box over a busy window gets the ordinary pointer for as long as it is open.
struct PointerCursor {
  PointerCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~PointerCursor() { QApplication::restoreOverrideCursor(); }
  PointerCursor(const PointerCursor&) = delete;
  PointerCursor& operator=(const PointerCursor&) = delete;
};

std::unique_ptr<QDialog> NewBox(QWidget* owner, QMessageBox::Icon icon, const QString& text, const QString& title,
                                QDialogButtonBox::StandardButtons buttons) {
  auto box = MakeMessageBox(owner, icon, text, title, buttons, QDialogButtonBox::Ok);
  box->setWindowFlag(Qt::WindowStaysOnTopHint);
  return box;
}

int ShowBox(QDialog& box) {
  const PointerCursor pointer;
  QApplication::beep();
  return box.exec();
}

constexpr int kChoiceScreenWidthShare = 60;   // percent of the screen's width the choice takes
constexpr int kChoiceScreenHeightShare = 40;  // percent of its height the list of options may take
constexpr int kChoiceTextColumns = 80;        // the width the choice's text is wrapped at, in characters
constexpr char kChoiceListName[] = "choiceList";

// The options wrap at the dialog's width and scroll when there are more than the screen holds;
// `none` comes first and is the one chosen until the person picks another.
QListWidget* ChoiceList(const QStringList& options, const QString& none) {
  auto* list = new QListWidget;
  list->setObjectName(QString::fromLatin1(kChoiceListName));
  list->setWordWrap(true);
  list->setTextElideMode(Qt::ElideNone);
  list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  list->addItem(none);
  list->addItems(options);
  list->setCurrentRow(0);
  return list;
}

// As wide as the text wrapped at a readable width, never wider than the screen allows.
int ChoiceWidth(const QWidget& dialog) {
  const QFontMetrics metrics(dialog.font());
  const QScreen* screen = dialog.screen();
  const int wanted = metrics.averageCharWidth() * kChoiceTextColumns;
  return screen == nullptr ? wanted
                           : std::min(wanted, screen->availableGeometry().width() * kChoiceScreenWidthShare / 100);
}

int ListRoom(const QWidget& dialog, const QListWidget& list) {
  int rows = list.frameWidth() * 2;
  for (int i = 0; i < list.count(); ++i) rows += list.sizeHintForRow(i);
  const QScreen* screen = dialog.screen();
  return screen == nullptr ? rows
                           : std::min(rows, screen->availableGeometry().height() * kChoiceScreenHeightShare / 100);
}

// "Firmware File (*.txt);;Any File (*)"
QString QtFilter(const std::vector<FileFilter>& filters) {
  QStringList parts;
  for (const FileFilter& filter : filters) parts.push_back(Q(filter.name + " (" + filter.pattern + ")"));
  return parts.join(QString::fromLatin1(kFilterSeparator));
}

std::string RunFileDialog(QWidget* owner, const FileRequest& request, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(owner, Q(request.title), Q(request.folder), QtFilter(request.filters));
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(Q(request.defaultSuffix));
  const PointerCursor pointer;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst().toStdString();
}

}  // namespace

std::unique_ptr<QDialog> MakeBox(QWidget* owner, int kind, const QString& text, const QString& title) {
  return NewBox(owner, BoxIcon(kind), text, title, QDialogButtonBox::Ok);
}

std::unique_ptr<QDialog> MakeQuestion(QWidget* owner, const QString& text, const QString& title) {
  return NewBox(owner, QMessageBox::Warning, text, title, QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

std::unique_ptr<QDialog> MakeChoice(QWidget* owner, const QString& text, const QString& title,
                                    const QStringList& options, const QString& none) {
  auto dialog = std::make_unique<QDialog>(owner);
  dialog->setWindowTitle(title);
  dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
  const int width = ChoiceWidth(*dialog);
  auto* layout = new QVBoxLayout(dialog.get());
  layout->setSizeConstraint(QLayout::SetFixedSize);
  QScrollArea* question = ScrollingText(text);
  layout->addWidget(question);
  QListWidget* list = ChoiceList(options, none);
  list->setFixedWidth(width);
  layout->addWidget(list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
  QObject::connect(list, &QListWidget::itemDoubleClicked, dialog.get(), &QDialog::accept);
  layout->addWidget(buttons);
  list->setFixedHeight(ListRoom(*dialog, *list));
  FitScrollingText(*dialog, *question, width);
  return dialog;
}

int ChoiceMade(const QDialog& choice) {
  const auto* list = choice.findChild<QListWidget*>(QString::fromLatin1(kChoiceListName));
  // Row 0 is "none of these".
  return list != nullptr && list->currentRow() > 0 ? list->currentRow() - 1 : kChoseNone;
}

void QtDialogs::box(const std::string& text, const std::string& title, int kind) {
  ShowBox(*MakeBox(owner_.data(), kind, Q(text), Q(title)));
}

bool QtDialogs::ask(const std::string& text, const std::string& title) {
  return ShowBox(*MakeQuestion(owner_.data(), Q(text), Q(title))) == QDialogButtonBox::Ok;
}

int QtDialogs::choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
                      const std::string& none) {
  QStringList labels;
  for (const std::string& option : options) labels.push_back(Q(option));
  const std::unique_ptr<QDialog> dialog = MakeChoice(owner_.data(), Q(text), Q(title), labels, Q(none));
  const PointerCursor pointer;
  QApplication::beep();
  // Closed without OK: nothing was chosen.
  return dialog->exec() == QDialog::Accepted ? ChoiceMade(*dialog) : kChoseNone;
}

std::string QtDialogs::openFile(const FileRequest& request) {
  return RunFileDialog(owner_.data(), request, QFileDialog::AcceptOpen);
}

std::string QtDialogs::saveFile(const FileRequest& request) {
  return RunFileDialog(owner_.data(), request, QFileDialog::AcceptSave);
}

NetworkPortsAnswer QtDialogs::networkPorts(const std::vector<std::string>& urls) {
  QStringList listed;
  for (const std::string& url : urls) listed.push_back(Q(url));
  const std::unique_ptr<QDialog> dialog = MakeNetworkPortsDialog(owner_.data(), listed);
  const int result = dialog->exec();
  return NetworkPortsAnswerOf(*dialog, result);
}
