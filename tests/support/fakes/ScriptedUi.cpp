#include "tests/support/fakes/ScriptedUi.h"

namespace {

template <typename T>
T Next(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  T answer = std::move(queue.front());
  queue.pop_front();
  return answer;
}

}  // namespace

void ScriptedUi::Record(Kind kind, const QString& text, const QString& title,
                        const QString& detail) {
  shown.push_back({kind, text, title, detail});
  if (on_show) on_show();
}

void ScriptedUi::Message(const QString& text) { Record(Kind::Message, text, app_title_); }

bool ScriptedUi::AskYesNo(const QString& text) {
  Record(Kind::YesNo, text, app_title_);
  return Next(yes_no_answers, false);
}

void ScriptedUi::Exclamation(const QString& text, const QString& title) {
  Record(Kind::Exclamation, text, title);
}

QString ScriptedUi::InputBox(const QString& prompt, const QString& title,
                             const QString& default_text) {
  Record(Kind::Input, prompt, title.isEmpty() ? app_title_ : title, default_text);
  return Next(input_answers, QString());
}

OpenFilesResult ScriptedUi::OpenFiles(const FileDialogRequest& request) {
  Record(Kind::OpenFiles, {}, request.title, request.filter);
  return Next(open_files_answers, OpenFilesResult{});
}

QString ScriptedUi::SaveFile(const FileDialogRequest& request) {
  Record(Kind::SaveFile, {}, request.title, request.filter);
  return Next(save_answers, QString());
}

QString ScriptedUi::BrowseForFolder(const QString& title, const QString& initial_folder) {
  Record(Kind::BrowseForFolder, {}, title, initial_folder);
  return Next(folder_answers, QString());
}

QStringList ScriptedUi::Texts(Kind kind) const {
  QStringList texts;
  for (const Shown& s : shown)
    if (s.kind == kind) texts.append(s.text);
  return texts;
}
