#pragma once

#include <QString>
#include <QStringList>

/// An open-file or save-file dialog's settings. The filter is in pairs of description and
/// pattern separated by "|", e.g. "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|".
struct FileDialogRequest {
  QString title;
  QString filter;
};

/// What the open-file dialog gave back.
struct OpenFilesResult {
  enum class Status {
    Chosen,     ///< paths holds the chosen files, full paths, in the dialog's order
    Cancelled,  ///< nothing chosen
    TooMany,    ///< the chosen names do not fit the dialog's 30000-character result
  };
  Status status = Status::Cancelled;
  QStringList paths;
};

/// What the column chooser offers: every column with its group, in the catalogue's order, the
/// columns shown now, in their order, and the default set "Reset to default" brings back.
struct ColumnChoiceRequest {
  QStringList headers;
  QStringList groups;  ///< one per header
  QStringList chosen;
  QStringList defaults;
  QString legacy_text;         ///< how legacy text is read now ("windows-1252", "detect", ...)
  bool summary_sheet = false;  ///< workbooks get a "Summary" sheet of folder totals
  bool every_format = false;   ///< runs read every audio format, not MP3 alone
};

/// What the column chooser gave back; no columns when the user cancelled.
struct ColumnChoice {
  QStringList columns;
  QString legacy_text;
  bool summary_sheet = false;
  bool every_format = false;
};

/// Message boxes and dialogs of the main window. Every box without a title of its own carries
/// the application title. All calls are modal and return when the user closes the box.
class Ui {
 public:
  /// Characters the open-file dialog's result may hold: folder, NUL, each name and NUL, NUL.
  static constexpr int kOpenFilesResultLimit = 30000;

  virtual ~Ui() = default;

  /// Sets the title of every box that has none of its own.
  virtual void SetApplicationTitle(const QString& title) = 0;
  virtual QString ApplicationTitle() const = 0;
  /// A plain message with an OK button.
  virtual void Message(const QString& text) = 0;
  /// A plain message that ends in a web address, which the box offers as a link.
  virtual void MessageWithLink(const QString& text, const QString& address) {
    Message(text + address);
  }
  /// A question with Yes and No buttons; true for Yes.
  virtual bool AskYesNo(const QString& text) = 0;
  /// A message with the exclamation icon, one OK button and the given title.
  virtual void Exclamation(const QString& text, const QString& title) = 0;
  /// An input box; an empty title shows the application title. Returns the typed text, or
  /// empty text when the user cancels.
  virtual QString InputBox(const QString& prompt, const QString& title,
                           const QString& default_text) = 0;
  /// The open-file dialog with multiple selection.
  virtual OpenFilesResult OpenFiles(const FileDialogRequest& request) = 0;
  /// The save-file dialog, without an overwrite question; empty text when cancelled.
  virtual QString SaveFile(const FileDialogRequest& request) = 0;
  /// The same, also giving which of the request's file types the user left chosen (0-based, in
  /// the filter's order; -1 when the dialog cannot tell).
  virtual QString SaveFileOfType(const FileDialogRequest& request, int& chosen_type) {
    chosen_type = -1;
    return SaveFile(request);
  }
  /// The folder browser opening on initial_folder (an empty or unknown folder leaves the
  /// browser's own choice); the chosen folder's path, or empty text when cancelled.
  virtual QString BrowseForFolder(const QString& title, const QString& initial_folder) = 0;
  /// The column chooser: the columns ticked, in the order the user left them, and the reading
  /// and workbook options beside them; no columns when cancelled. A Ui without one never changes
  /// anything.
  virtual ColumnChoice ChooseColumns(const ColumnChoiceRequest& request) {
    (void)request;
    return {};
  }
};
