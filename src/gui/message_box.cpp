#include "gui/message_box.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kTextScreenShare = 80;  // percent of the screen's width a box's text may take
// Room kept for the window manager's frame, in lines of the dialog's font: the frame is
// not known until the dialog is shown, and grows with the desktop's scale as the font does.
constexpr int kTitleBarLines = 2;
constexpr int kBorderLines = 1;
constexpr int kUnbounded = 1 << 20;

QLabel* TextOf(const QScrollArea& area) { return qobject_cast<QLabel*>(area.widget()); }

// The text's longest line, measured as the label measures its text.
int LongestLine(const QLabel& label) {
  const QRect unbounded(0, 0, kUnbounded, kUnbounded);
  return label.fontMetrics().boundingRect(unbounded, Qt::AlignLeft | Qt::TextExpandTabs, label.text()).width() +
         2 * label.margin();
}

// The screen's available area less the frame the window manager will put around the dialog.
QSize Room(const QDialog& dialog) {
  const QScreen* screen = dialog.screen();
  if (screen == nullptr) return {kUnbounded, kUnbounded};
  const int line = dialog.fontMetrics().height();
  return screen->availableGeometry().size() - QSize(kBorderLines * line, (kTitleBarLines + kBorderLines) * line);
}

// The style's picture for the icon, as Qt's own message box draws it.
QPixmap IconPicture(const QWidget& box, QMessageBox::Icon icon) {
  QStyle::StandardPixmap picture = QStyle::SP_MessageBoxInformation;
  switch (icon) {
    case QMessageBox::Warning: picture = QStyle::SP_MessageBoxWarning; break;
    case QMessageBox::Critical: picture = QStyle::SP_MessageBoxCritical; break;
    case QMessageBox::Question: picture = QStyle::SP_MessageBoxQuestion; break;
    default: break;
  }
  const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  return box.style()->standardIcon(picture, nullptr, &box).pixmap(size);
}

// The dialog's smallest size with its text at the given size.
QSize MinimumWith(QDialog& dialog, QScrollArea& text, QSize size) {
  text.setFixedSize(size);
  dialog.layout()->invalidate();
  return dialog.layout()->totalMinimumSize();
}

}  // namespace

QScrollArea* ScrollingText(const QString& text) {
  auto* label = new QLabel(text);
  // Plain text: a file name or a device's answer in a box is shown as it is, never as markup.
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* area = new QScrollArea;
  area->setWidget(label);
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  area->setFocusPolicy(Qt::NoFocus);
  label->setTextInteractionFlags(
      static_cast<Qt::TextInteractionFlags>(label->style()->styleHint(QStyle::SH_MessageBox_TextInteractionFlags)));
  // The text sits on the dialog's own background, as a message box's does.
  area->viewport()->setAutoFillBackground(false);
  label->setAutoFillBackground(false);
  return area;
}

void FitScrollingText(QDialog& dialog, QScrollArea& text, int widest) {
  QLabel* label = TextOf(text);
  if (label == nullptr || dialog.layout() == nullptr) return;
  dialog.ensurePolished();
  const QSize room = Room(dialog);
  // What the rest of the dialog adds to a text as wide and as tall as the room: the parts
  // beside it or above and below it (an icon in its row or a list under it adds nothing).
  const QSize rest = MinimumWith(dialog, text, room) - room;
  const int scrollBar = text.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &text);
  int width = std::min({LongestLine(*label), widest, room.width() - rest.width() - scrollBar});
  int height = label->heightForWidth(width);
  // A word longer than the width (a long path) scrolls sideways rather than being cut.
  if (label->minimumSizeHint().width() > width) height += scrollBar;
  const int tallest = room.height() - rest.height();
  if (height > tallest) {
    height = tallest;
    width += scrollBar;
    text.setFocusPolicy(Qt::StrongFocus);  // the keyboard scrolls it too
  }
  text.setFixedSize(width, height);
}

std::unique_ptr<QDialog> MakeMessageBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
                                        const QString& title, QDialogButtonBox::StandardButtons buttons,
                                        QDialogButtonBox::StandardButton defaultButton) {
  auto box = std::make_unique<QDialog>(owner);
  box->setWindowTitle(title);
  auto* grid = new QGridLayout(box.get());
  grid->setSizeConstraint(QLayout::SetFixedSize);
  if (icon != QMessageBox::NoIcon) {
    auto* picture = new QLabel;
    picture->setPixmap(IconPicture(*box, icon));
    grid->addWidget(picture, 0, 0, Qt::AlignTop);
  }
  QScrollArea* area = ScrollingText(text);
  grid->addWidget(area, 0, 1);
  auto* row = new QDialogButtonBox(buttons);
  grid->addWidget(row, 1, 0, 1, 2);
  QObject::connect(row, &QDialogButtonBox::clicked, box.get(),
                   [dialog = box.get(), row](QAbstractButton* button) { dialog->done(row->standardButton(button)); });
  if (QPushButton* chosen = row->button(defaultButton)) {
    chosen->setDefault(true);
    chosen->setFocus();
  }
  const QScreen* screen = box->screen();
  const int widest = screen == nullptr ? kUnbounded : screen->availableGeometry().width() * kTextScreenShare / 100;
  FitScrollingText(*box, *area, widest);
  return box;
}
