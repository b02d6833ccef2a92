#include "gui/network_ports_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr char kActionProperty[] = "networkPortsAction";
constexpr char kTitle[] = "Network Ports";
constexpr char kIntro[] =
    "Ports on network serial servers (RFC 2217), listed by their URLs beside the computer's own ports.\n"
    "RFC 2217 has no encryption and no log-in: use it on a network you trust, or through an SSH tunnel.";
constexpr int kHostChars = 32;  // the host field's width, in characters
constexpr int kPortChars = 7;

QPushButton* Button(QDialogButtonBox* box, const char* text, const char* name, QDialogButtonBox::ButtonRole role) {
  QPushButton* button = box->addButton(QString::fromLatin1(text), role);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

QLineEdit* Field(const char* name, int chars) {
  auto* field = new QLineEdit;
  field->setObjectName(QString::fromLatin1(name));
  field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QLatin1Char('0')) * chars);
  return field;
}

// The button closes the dialog with its action recorded.
void EndWith(QDialog* dialog, QPushButton* button, NetworkPortsAnswer::Action action) {
  QObject::connect(button, &QPushButton::clicked, dialog, [dialog, action] {
    dialog->setProperty(kActionProperty, static_cast<int>(action));
    dialog->accept();
  });
}

}  // namespace

std::unique_ptr<QDialog> MakeNetworkPortsDialog(QWidget* owner, const QStringList& urls) {
  auto dialog = std::make_unique<QDialog>(owner);
  dialog->setWindowTitle(QString::fromLatin1(kTitle));
  auto* layout = new QVBoxLayout(dialog.get());
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(new QLabel(QString::fromLatin1(kIntro)));
  auto* list = new QListWidget;
  list->setObjectName(QStringLiteral("networkPortList"));
  list->addItems(urls);
  layout->addWidget(list);
  auto* form = new QFormLayout;
  QLineEdit* host = Field("networkHost", kHostChars);
  QLineEdit* port = Field("networkPort", kPortChars);
  form->addRow(QStringLiteral("&Host:"), host);
  form->addRow(QStringLiteral("&Port:"), port);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox;
  QPushButton* add = Button(buttons, "&Add", "addNetworkPort", QDialogButtonBox::AcceptRole);
  QPushButton* remove = Button(buttons, "&Remove", "removeNetworkPort", QDialogButtonBox::ActionRole);
  buttons->addButton(QDialogButtonBox::Close);
  add->setDefault(true);
  remove->setEnabled(false);
  QObject::connect(list, &QListWidget::currentRowChanged, remove, [remove](int row) { remove->setEnabled(row >= 0); });
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
  EndWith(dialog.get(), add, NetworkPortsAnswer::Action::kAdd);
  EndWith(dialog.get(), remove, NetworkPortsAnswer::Action::kRemove);
  layout->addWidget(buttons);
  host->setFocus();
  return dialog;
}

NetworkPortsAnswer NetworkPortsAnswerOf(const QDialog& dialog, int result) {
  NetworkPortsAnswer answer;
  if (result != QDialog::Accepted) return answer;
  answer.action = static_cast<NetworkPortsAnswer::Action>(dialog.property(kActionProperty).toInt());
  if (const auto* host = dialog.findChild<QLineEdit*>(QStringLiteral("networkHost"))) answer.host = host->text().toStdString();
  if (const auto* port = dialog.findChild<QLineEdit*>(QStringLiteral("networkPort"))) answer.port = port->text().toStdString();
  if (const auto* list = dialog.findChild<QListWidget*>(QStringLiteral("networkPortList"))) answer.index = list->currentRow();
  return answer;
}
