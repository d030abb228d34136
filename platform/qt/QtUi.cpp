#include "platform/qt/QtUi.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

void QtUi::Message(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title_, text, QMessageBox::Ok, owner_);
  box.exec();
}

bool QtUi::AskYesNo(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title_, text, QMessageBox::Yes | QMessageBox::No, owner_);
  return box.exec() == QMessageBox::Yes;
}

void QtUi::Exclamation(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner_);
  box.exec();
}

QString QtUi::InputBox(const QString& prompt, const QString& title, const QString& default_text) {
  bool ok = false;
  const QString text = QInputDialog::getText(owner_, title.isEmpty() ? title_ : title, prompt,
                                             QLineEdit::Normal, default_text, &ok);
  return ok ? text : QString();
}

OpenFilesResult QtUi::OpenFiles(const FileDialogRequest& request) {
  const QStringList paths =
      QFileDialog::getOpenFileNames(owner_, request.title, QString(), ToQtFilter(request.filter));
  // Qt's dialog has no limit on the length of its result, so it never answers TooMany.
  if (paths.isEmpty()) return {OpenFilesResult::Status::Cancelled, {}};
  return {OpenFilesResult::Status::Chosen, paths};
}

QString QtUi::SaveFile(const FileDialogRequest& request) {
  return QFileDialog::getSaveFileName(owner_, request.title, QString(), ToQtFilter(request.filter),
                                      nullptr, QFileDialog::DontConfirmOverwrite);
}

QString QtUi::BrowseForFolder(const QString& title, const QString& initial_folder) {
  return QFileDialog::getExistingDirectory(owner_, title, initial_folder,
                                           QFileDialog::ShowDirsOnly);
}

QString QtUi::ToQtFilter(const QString& pipe_filter) {
  const QStringList parts = pipe_filter.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(u';', u' ');
    if (description.isEmpty() && patterns.isEmpty()) continue;
    // Qt takes the patterns from the last parentheses, so the description cannot carry them.
    filters.append(description + QStringLiteral(" (") + patterns + u')');
  }
  return filters.join(QStringLiteral(";;"));
}

qsizetype QtUi::ResultLength(const QStringList& paths) {
  if (paths.size() == 1) return paths[0].size() + 1;
  qsizetype length = QFileInfo(paths.value(0)).path().size() + 2;
  for (const QString& path : paths) length += QFileInfo(path).fileName().size() + 1;
  return length;
}
