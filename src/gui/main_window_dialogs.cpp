#include "gui/main_window_dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

#include "app/box_kinds.h"
#include "app/update_ui.h"

namespace {

constexpr int kBoxScreenShare = 80;  // percent of the screen's width a box may take
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

// Qt wraps a box's text at a width of its own that does not grow with the font,
// so a long text (the help) at a large font or DPI grew taller than the screen.
// The box is as wide as the text's longest line, where the screen has room.
void WidenToLongestLine(QMessageBox& box, const QString& text) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  const QScreen* screen = box.screen();
  if (grid == nullptr || screen == nullptr) return;
  const QFontMetrics metrics(box.font());
  int longest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) longest = std::max(longest, metrics.horizontalAdvance(line));
  const int room = screen->availableGeometry().width() * kBoxScreenShare / 100;
  grid->addItem(new QSpacerItem(std::min(longest, room), 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(),
                0, 1, grid->columnCount());
}

std::unique_ptr<QMessageBox> NewBox(QWidget* owner, QMessageBox::Icon icon, const QString& text, const QString& title,
                                    QMessageBox::StandardButtons buttons) {
  auto box = std::make_unique<QMessageBox>(icon, title, text, buttons, owner);
  box->setWindowFlag(Qt::WindowStaysOnTopHint);
  WidenToLongestLine(*box, text);
  return box;
}

int ShowBox(QMessageBox& box) {
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

std::unique_ptr<QMessageBox> MakeBox(QWidget* owner, int kind, const QString& text, const QString& title) {
  return NewBox(owner, BoxIcon(kind), text, title, QMessageBox::Ok);
}

std::unique_ptr<QMessageBox> MakeQuestion(QWidget* owner, const QString& text, const QString& title) {
  return NewBox(owner, QMessageBox::Warning, text, title, QMessageBox::Ok | QMessageBox::Cancel);
}

std::unique_ptr<QDialog> MakeChoice(QWidget* owner, const QString& text, const QString& title,
                                    const QStringList& options, const QString& none) {
  auto dialog = std::make_unique<QDialog>(owner);
  dialog->setWindowTitle(title);
  dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
  const int width = ChoiceWidth(*dialog);
  auto* layout = new QVBoxLayout(dialog.get());
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setMinimumWidth(width);
  layout->addWidget(label);
  QListWidget* list = ChoiceList(options, none);
  list->setMinimumWidth(width);
  layout->addWidget(list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
  QObject::connect(list, &QListWidget::itemDoubleClicked, dialog.get(), &QDialog::accept);
  layout->addWidget(buttons);
  list->setMinimumHeight(ListRoom(*dialog, *list));
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
  return ShowBox(*MakeQuestion(owner_.data(), Q(text), Q(title))) == QMessageBox::Ok;
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
