#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Ui.h"

/// Message boxes and dialogs as Qt widgets, owned by the main window.
class QtUi : public Ui {
 public:
  explicit QtUi(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void SetApplicationTitle(const QString& title) override { title_ = title; }
  QString ApplicationTitle() const override { return title_; }
  void Message(const QString& text) override;
  void MessageWithLink(const QString& text, const QString& address) override;
  bool AskYesNo(const QString& text) override;
  void Exclamation(const QString& text, const QString& title) override;
  QString InputBox(const QString& prompt, const QString& title,
                   const QString& default_text) override;
  OpenFilesResult OpenFiles(const FileDialogRequest& request) override;
  QString SaveFile(const FileDialogRequest& request) override;
  QString SaveFileOfType(const FileDialogRequest& request, int& chosen_type) override;
  QString BrowseForFolder(const QString& title, const QString& initial_folder) override;
  ColumnChoice ChooseColumns(const ColumnChoiceRequest& request) override;

  /// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" as Qt writes it: "Text Files (*.txt);;...".
  /// A description that already ends in its patterns shows them once.
  static QString ToQtFilter(const QString& pipe_filter);
  /// The boxes' texts break lines with CR, alone or before LF; Qt's labels break only at LF.
  static QString WithLineBreaks(QString text);
  /// Characters the chosen paths would take in the old dialog's result: the folder, then each
  /// name, each closed by a NUL, and a final NUL; a single file is its path and a NUL.
  static qsizetype ResultLength(const QStringList& paths);

 private:
  QPointer<QWidget> owner_;
  QString title_;
};
