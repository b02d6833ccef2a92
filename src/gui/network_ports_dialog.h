// The "Network Ports..." dialog in Qt: the network ports added so far, a host and a port to add,
// a Remove button for the one picked in the list.
#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

#include "window/window_dialogs.h"

class QWidget;

// Not yet shown; its controls are named for the tests: "networkPortList", "networkHost",
// "networkPort", "addNetworkPort", "removeNetworkPort".
std::unique_ptr<QDialog> MakeNetworkPortsDialog(QWidget* owner, const QStringList& urls);
// What the person did in a shown dialog (Cancel when it was closed).
NetworkPortsAnswer NetworkPortsAnswerOf(const QDialog& dialog, int result);
