// Everything the main window shows modally: message boxes, questions and the
// file dialogs. The window uses the Qt dialogs below; tests hand it a recorder.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

struct FileDialogRequest {
  QString title;
  QString folder;         // where the dialog opens; empty: the dialog's own choice
  QString filter;         // Qt filter text; empty: none
  QString defaultSuffix;  // added to a name typed without one
};

struct MainWindowDialogs {
  virtual ~MainWindowDialogs() = default;
  // A modal box with the single button OK and the kind's icon, centred on the owner and on top.
  virtual void Box(QWidget* owner, const QString& text, const QString& title, int kind) = 0;
  // An OK/Cancel question with the exclamation icon: true for OK.
  virtual bool Ask(QWidget* owner, const QString& text, const QString& title) = 0;
  // One of several options, or `none` (listed first, the default): the option's index, or
  // kChoseNone for none and for a dialog closed without an answer.
  virtual int Choose(QWidget* owner, const QString& text, const QString& title, const QStringList& options,
                     const QString& none) = 0;
  // The chosen file's full path; empty when cancelled. Open needs an existing file.
  virtual QString OpenFile(QWidget* owner, const FileDialogRequest& request) = 0;
  virtual QString SaveFile(QWidget* owner, const FileDialogRequest& request) = 0;
};

// The message box as the window shows it (kind as ShowErrorBox takes it), not yet
// shown: the window's boxes and the tests that measure them build it here.
std::unique_ptr<QMessageBox> MakeBox(QWidget* owner, int kind, const QString& text, const QString& title);
// The OK/Cancel question box, not yet shown.
std::unique_ptr<QMessageBox> MakeQuestion(QWidget* owner, const QString& text, const QString& title);

// The choice among options, not yet shown: a radio button each, `none` first and checked.
std::unique_ptr<QDialog> MakeChoice(QWidget* owner, const QString& text, const QString& title,
                                    const QStringList& options, const QString& none);
// The option a shown choice holds: its index, or kChoseNone.
int ChoiceMade(const QDialog& choice);

struct QtDialogs : MainWindowDialogs {
  void Box(QWidget* owner, const QString& text, const QString& title, int kind) override;
  bool Ask(QWidget* owner, const QString& text, const QString& title) override;
  int Choose(QWidget* owner, const QString& text, const QString& title, const QStringList& options,
             const QString& none) override;
  QString OpenFile(QWidget* owner, const FileDialogRequest& request) override;
  QString SaveFile(QWidget* owner, const FileDialogRequest& request) override;
};
