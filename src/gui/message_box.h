// The message box of the window and of the feedback window, built from Qt's parts
// rather than QMessageBox: that one wraps a long text at a width of its own and grows
// taller than a small screen, leaving its last lines and its buttons out of reach.
// This one is as wide as the text's longest line where the screen has room, scrolls
// a text taller than the screen holds, and always shows its buttons.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QString>

#include <memory>

class QScrollArea;

// Not yet shown. exec() returns the standard button that closed it, or 0 when it was
// closed otherwise (Escape, the close box).
std::unique_ptr<QDialog> MakeMessageBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
                                        const QString& title, QDialogButtonBox::StandardButtons buttons,
                                        QDialogButtonBox::StandardButton defaultButton);

// A dialog's text that wraps and scrolls: a plain-text label in a frameless scroll area.
// FitScrollingText sizes it once the dialog holds everything else.
QScrollArea* ScrollingText(const QString& text);

// Sizes the dialog's scrolling text: as wide as its longest line, at most `widest` pixels
// and never wider than the screen leaves, and as tall as it needs up to what the screen
// leaves once the rest of the dialog is in; a taller text scrolls.
void FitScrollingText(QDialog& dialog, QScrollArea& text, int widest);
