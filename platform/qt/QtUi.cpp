#include "platform/qt/QtUi.h"

#include "platform/qt/ColumnChooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace {

// Every box's text can be selected and copied (an address, a folder); links open on a click.
constexpr Qt::TextInteractionFlags kBoxText =
    Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse;

int Show(QMessageBox& box, Qt::TextFormat format) {
  // Plain texts stay plain: a file name such as "<b>.mp3" is never read as markup.
  box.setTextFormat(format);
  box.setTextInteractionFlags(kBoxText);
  return box.exec();
}

}  // namespace

QString QtUi::WithLineBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  return text;
}

void QtUi::Message(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title_, WithLineBreaks(text), QMessageBox::Ok, owner_);
  Show(box, Qt::PlainText);
}

void QtUi::MessageWithLink(const QString& text, const QString& address) {
  // The address stands on a line of its own: a link wrapped after one of its "/" reads as two.
  const QString escaped = address.toHtmlEscaped();
  QString html = WithLineBreaks(text).trimmed().toHtmlEscaped();
  html.replace(u'\n', QStringLiteral("<br>"));
  html += QStringLiteral("<br><a href=\"%1\">%1</a>").arg(escaped);
  QMessageBox box(QMessageBox::NoIcon, title_, html, QMessageBox::Ok, owner_);
  Show(box, Qt::RichText);
}

bool QtUi::AskYesNo(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title_, WithLineBreaks(text),
                  QMessageBox::Yes | QMessageBox::No, owner_);
  return Show(box, Qt::PlainText) == QMessageBox::Yes;
}

void QtUi::Exclamation(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Warning, title, WithLineBreaks(text), QMessageBox::Ok, owner_);
  Show(box, Qt::PlainText);
}

QString QtUi::InputBox(const QString& prompt, const QString& title, const QString& default_text) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(owner_, title.isEmpty() ? title_ : title, WithLineBreaks(prompt),
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

QString QtUi::SaveFileOfType(const FileDialogRequest& request, int& chosen_type) {
  const QString filters = ToQtFilter(request.filter);
  QString selected;
  const QString path = QFileDialog::getSaveFileName(owner_, request.title, QString(), filters,
                                                    &selected, QFileDialog::DontConfirmOverwrite);
  chosen_type = static_cast<int>(filters.split(QStringLiteral(";;")).indexOf(selected));
  return path;
}

QString QtUi::BrowseForFolder(const QString& title, const QString& initial_folder) {
  return QFileDialog::getExistingDirectory(owner_, title, initial_folder,
                                           QFileDialog::ShowDirsOnly);
}

QString QtUi::ToQtFilter(const QString& pipe_filter) {
  const QStringList parts = pipe_filter.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QString patterns = parts[i + 1];
    patterns.replace(u';', u' ');
    patterns = patterns.simplified();
    if (description.isEmpty() && patterns.isEmpty()) continue;
    // Qt takes the patterns from the last parentheses. A description that ends in its own
    // patterns ("Text Files (*.txt)") shows them once; Qt splits them at spaces, not ";".
    const qsizetype open = description.lastIndexOf(u'(');
    if (open >= 0 && description.endsWith(u')')) {
      QString own = description.mid(open + 1, description.size() - open - 2);
      own.replace(u';', u' ');
      if (own.simplified() == patterns) description.truncate(open);
    }
    const QString shown = QStringLiteral("(") + patterns + u')';
    filters.append(description.isEmpty() ? shown : description.trimmed() + u' ' + shown);
  }
  return filters.join(QStringLiteral(";;"));
}

qsizetype QtUi::ResultLength(const QStringList& paths) {
  if (paths.size() == 1) return paths[0].size() + 1;
  qsizetype length = QFileInfo(paths.value(0)).path().size() + 2;
  for (const QString& path : paths) length += QFileInfo(path).fileName().size() + 1;
  return length;
}

ColumnChoice QtUi::ChooseColumns(const ColumnChoiceRequest& request) {
  ColumnChooser chooser(request, owner_);
  if (!title_.isEmpty()) chooser.setWindowTitle(QStringLiteral("Columns - ") + title_);
  if (chooser.exec() != QDialog::Accepted) return {};
  return {chooser.Chosen(), chooser.LegacyText(), chooser.SummarySheet(), chooser.EveryFormat()};
}
