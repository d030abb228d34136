#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/Ui.h"

/// A Ui that shows nothing: it records every box and dialog, and answers from queues. An empty
/// queue answers No, cancel or empty text.
class ScriptedUi : public Ui {
 public:
  enum class Kind { Message, YesNo, Exclamation, Input, OpenFiles, SaveFile, BrowseForFolder };
  struct Shown {
    Kind kind;
    QString text;    ///< message, prompt or question (dialogs: empty)
    QString title;   ///< title as the box would show it
    QString detail;  ///< input default text, dialog filter or initial folder
  };

  void SetApplicationTitle(const QString& title) override { app_title_ = title; }
  QString ApplicationTitle() const override { return app_title_; }
  void Message(const QString& text) override;
  bool AskYesNo(const QString& text) override;
  void Exclamation(const QString& text, const QString& title) override;
  QString InputBox(const QString& prompt, const QString& title,
                   const QString& default_text) override;
  OpenFilesResult OpenFiles(const FileDialogRequest& request) override;
  QString SaveFile(const FileDialogRequest& request) override;
  QString SaveFileOfType(const FileDialogRequest& request, int& chosen_type) override {
    chosen_type = save_type_answers.empty() ? -1 : save_type_answers.front();
    if (!save_type_answers.empty()) save_type_answers.pop_front();
    return SaveFile(request);
  }
  QString BrowseForFolder(const QString& title, const QString& initial_folder) override;
  ColumnChoice ChooseColumns(const ColumnChoiceRequest& request) override {
    column_requests.push_back(request);
    if (column_answers.empty()) return {};
    ColumnChoice answer = column_answers.front();
    column_answers.pop_front();
    return answer;
  }

  std::deque<bool> yes_no_answers;
  std::deque<QString> input_answers;
  std::deque<OpenFilesResult> open_files_answers;
  std::deque<QString> save_answers;
  std::deque<int> save_type_answers;  ///< the file type each save dialog leaves chosen
  std::deque<QString> folder_answers;
  std::deque<ColumnChoice> column_answers;
  std::vector<ColumnChoiceRequest> column_requests;
  /// Runs inside every modal box, as events would while it shows.
  std::function<void()> on_show;

  std::vector<Shown> shown;
  /// Texts of the boxes of one kind, in order.
  QStringList Texts(Kind kind) const;
  /// Texts of the plain OK messages.
  QStringList Messages() const { return Texts(Kind::Message); }
  /// Texts of the error reports (exclamation boxes).
  QStringList Reports() const { return Texts(Kind::Exclamation); }

 private:
  void Record(Kind kind, const QString& text, const QString& title, const QString& detail = {});
  QString app_title_ = QStringLiteral("Tagloom");
};
