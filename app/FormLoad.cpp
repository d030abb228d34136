#include "app/FormLoad.h"

#include <QCoreApplication>

#include "batch/ResultColumns.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"
#include "core/Maker.h"

namespace {

constexpr int kTitleLimit = 40;
constexpr int kFileListWidth = 7000;  // twips
constexpr int kHomePageDraw = 7;

QString Text(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString ApplicationTitleOf(const QString& product_name) {
  QString title = product_name;
  do {
    const qsizetype space = title.lastIndexOf(u' ');
    if (space < 0) break;
    title.truncate(space);
  } while (title.size() > kTitleLimit);
  return title;
}

void ShowHelp(Ui& ui, ErrorReport& errors) {
  ErrorTrap trap(loc::kPushButton9Click, errors);
  trap.Step(100, [&] {
    const QString version = QCoreApplication::applicationVersion();
    ui.MessageWithLink(
        QStringLiteral("Tagloom") + (version.isEmpty() ? QString() : u' ' + version) +
            QStringLiteral(": reads the tags of many MP3 files into one table.\r\r"
                           "1. Queue files: \"Add MP3 File(s)\" (Ctrl+O), \"Add All MP3 File(s) In "
                           "Folder\", drop files or folders on the list, or load the samples.\r"
                           "2. Press \"Start Extracting Tags\" (F5); Esc stops it.\r"
                           "3. Clear the box of any row to leave it out, then copy the table "
                           "(Ctrl+Shift+C) or save it as text or CSV (Ctrl+S) or as a workbook "
                           "(Ctrl+Shift+S).\r"
                           "\"Columns…\" picks and orders the columns; a header click sorts.\r\r"
                           "Questions? Please contact Team Vendramel at "),
        Text(Maker::kContactPage));
  });
}

void FormLoad::VisitHomePageSometimes(RandomSource& random, Desktop& desktop) {
  const int draw = static_cast<int>(random.NextFraction() * 100) + 1;
  if (draw == kHomePageDraw) desktop.OpenWebAddress(Text(Maker::kHomePage));
}

QString FormLoad::Beside(const QString& relative) const {
  QString path = relative;
  path.replace(u'/', Main::kSeparator);
  return program_folder_ + Main::kSeparator + path;
}

void FormLoad::Run() {
  ErrorTrap trap(loc::kFormLoad, errors_);
  trap.Step(100, [&] {
    const QString skin = Beside(QStringLiteral("x/o.cjs"));
    if (files_.FileHasDate(skin)) window_.ApplySkin(skin);
  });
  trap.Step(104, [&] {
    window_.SetCaption(QString::fromUtf16(kProductName));
    window_.ShowProgramIcon();
    ui_.SetApplicationTitle(ApplicationTitleOf(QString::fromUtf16(kProductName)));
  });
  const QString hover = Beside(QStringLiteral("HAND-M.CUR"));
  bool has_hover = false;
  trap.Step(106, [&] { has_hover = files_.FileHasDate(hover); });
  if (has_hover) trap.Step(108, [&] { window_.LoadHoverPicture(hover); });
  trap.Step(110, [&] { VisitHomePageSometimes(random_, desktop_); });
  trap.Step(128, [&] { file_list_.AddColumn(QStringLiteral("File(s)"), kFileListWidth); });
  trap.Step(150, [&] { ResultColumns::AddFileNameColumn(results_); });
  for (const ResultColumns::Field& field : ResultColumns::kFields) {
    trap.Step(150 + 2 * field.sub_item, [&] { ResultColumns::AddFieldColumn(results_, field); });
  }
}
