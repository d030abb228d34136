#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "app/art/ProgramArt.h"
#include "app/ui/MainWindow.h"
#include "batch/ResultColumns.h"
#include "core/Maker.h"
#include "platform/PosixFileSystem.h"
#include "platform/qt/ColumnChooser.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtUi.h"
#include "platform/xlsx/XlsxSpreadsheet.h"
#include "tag/clsID3.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"

namespace {

QString Q(const std::u16string& s) { return QString::fromUtf16(s.data(), s.size()); }

/// The window over the programs' folder of the build, with scripted boxes and the real files.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto bin = TestFiles::BinDir();
    if (!bin) GTEST_SKIP() << "TAGLOOM_BIN is not set";
    folder = QString::fromStdString(bin->string());
    window = std::make_unique<MainWindow>(services, folder);
    window->show();
  }

  QPushButton* Button(const char* name) {
    return window->findChild<QPushButton*>(QString::fromLatin1(name));
  }

  FakeServices f;
  PosixFileSystem files;
  Services services{f.ui,     f.settings, f.clipboard,   f.desktop, f.random,
                    f.events, files,      f.spreadsheet, f.shell};
  QString folder;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, ShowsEveryControlByItsNameAndCaption) {
  const std::vector<std::pair<const char*, const char*>> captions = {
      {"PushButton1", "Save Results As Text File"},
      {"PushButton2", "Old"},
      {"PushButton3", "Add All MP3 File(s) In Folder"},
      {"PushButton4", "Add MP3 File(s)"},
      {"PushButton5", "Clear Results"},
      {"PushButton6", "Copy Results To Clipboard"},
      {"PushButton7", "Clear List"},
      {"PushButton8", "Load Sample/Example Files"},
      {"PushButton9", "Help"},
      {"PushButton10", "Start Extracting Tags"},
      {"PushButton13", "Save Results As Excel File"},
  };
  for (const auto& [name, caption] : captions) {
    QPushButton* button = Button(name);
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(QString(button->text()).remove(u'&'), QString::fromLatin1(caption));
    EXPECT_EQ(button->isVisible(), std::string(name) != "PushButton2") << name;
  }
  EXPECT_NE(window->findChild<QWidget*>(QStringLiteral("ListView1")), nullptr);
  EXPECT_NE(window->findChild<QWidget*>(QStringLiteral("ListView2")), nullptr);
  EXPECT_NE(window->findChild<QWidget*>(QStringLiteral("ProgressBar1")), nullptr);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Tagloom"));
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_TRUE(window->styleSheet().contains(QStringLiteral("QPushButton")));  // the skin
  EXPECT_TRUE(f.ui.shown.empty());
}

TEST_F(MainWindowTest, HoverShowsTheHandExceptWhileBusy) {
  QPushButton* help = Button("PushButton9");
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(help, &enter);
  EXPECT_EQ(window->cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(window->cursor().hotSpot(), ProgramArt::kHandHotspot);
  window->form().MousePointer.BeginLongAction();
  QApplication::sendEvent(help, &enter);
  EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
  window->form().MousePointer.EndLongAction();
  EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, SamplesThroughTheMainRoadFillTheResultTable) {
  f.ui.yes_no_answers = {true};
  QTest::mouseClick(Button("PushButton8"), Qt::LeftButton);
  ASSERT_EQ(f.ui.Texts(ScriptedUi::Kind::YesNo).size(), 1);
  EXPECT_EQ(f.desktop.opened_folders, QStringList{folder + QStringLiteral("/Samples/")});

  const QStringList names =
      QDir(folder + QStringLiteral("/Samples"))
          .entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
  ReportListModel& queued = window->form().ListView1;
  ASSERT_GE(names.size(), 5);
  ASSERT_EQ(queued.RowCount(), names.size());

  QTest::mouseClick(Button("PushButton10"), Qt::LeftButton);
  EXPECT_EQ(f.ui.Messages(), QStringList{QStringLiteral("Done.")});
  ReportListModel& results = window->form().ListView2;
  ASSERT_EQ(results.RowCount(), names.size());
  clsID3 tag;
  for (int r = 1; r <= results.RowCount(); ++r) {
    EXPECT_EQ(results.Text(r), names[r - 1]);
    EXPECT_TRUE(results.Checked(r));
    tag.SetFileName(QFile::encodeName(queued.Text(r)).toStdString());
    for (const ResultColumns::Field& field : ResultColumns::kFields)
      EXPECT_EQ(results.SubItem(r, field.sub_item), Q((tag.*field.value)())) << r;
  }
  EXPECT_EQ(results.Text(1), QStringLiteral("01 - Harbour Lights (ID3v1).mp3"));
  EXPECT_EQ(results.SubItem(1, 1), QStringLiteral("Harbour Lights"));
  EXPECT_EQ(results.SubItem(1, 2), QStringLiteral("Marlow Avenue"));
  EXPECT_EQ(window->form().ProgressBar1.Caption(), QStringLiteral("Progress Bar"));
  EXPECT_FALSE(window->form().ExtractionRunning);

  // The user clears a row's box to keep it out of the exports.
  const QModelIndex first = results.index(0, 0);
  EXPECT_EQ(first.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
  EXPECT_TRUE(results.flags(first) & Qt::ItemIsUserCheckable);
  results.setData(first, Qt::Unchecked, Qt::CheckStateRole);
  EXPECT_FALSE(results.Checked(1));
}

// The bar asks for one repaint however many changes come before it, and every change after a
// repaint brings another, so the screen always ends on the last state.
TEST_F(MainWindowTest, TheProgressBarRepaintsOnceForManyChangesAndAgainForTheNext) {
  auto* bar = window->findChild<QWidget*>(QStringLiteral("ProgressBar1"));
  ASSERT_NE(bar, nullptr);
  struct Paints : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      count += event->type() == QEvent::Paint;
      return false;
    }
  } paints;
  QCoreApplication::processEvents();
  bar->installEventFilter(&paints);
  ProgressBarModel& model = window->form().ProgressBar1;
  for (int round = 1; round <= 3; ++round) {
    for (int i = 0; i < 50; ++i) {
      model.SetValue(i);
      model.SetCaption(QStringLiteral("file %1").arg(i));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(paints.count, round);
  }
  bar->removeEventFilter(&paints);
}

TEST_F(MainWindowTest, ClosingDuringARunStopsItWithoutAnotherBox) {
  for (int i = 0; i < 50; ++i)
    window->form().ListView1.AppendRow(folder + QStringLiteral("/Samples/missing%1.mp3").arg(i));
  f.events.on_yield = [&](int n) {
    if (n == 3) window->close();
  };
  QTest::mouseClick(Button("PushButton10"), Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->form().ListView2.RowCount(), 2);
  EXPECT_TRUE(f.ui.shown.empty());
  EXPECT_FALSE(window->form().ExtractionRunning);
  EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MainWindowTest, WithoutAFileManagerTheSampleFolderIsNamedInsteadOfOpened) {
  QTemporaryDir dir;
  const QString query = dir.filePath(QStringLiteral("mime-query"));
  QFile script(query);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("#!/bin/sh\nexit 0\n");  // the desktop names no file manager
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  QtDesktop desktop(query);
  Services with_desktop{f.ui,     f.settings, f.clipboard,   desktop, f.random,
                        f.events, files,      f.spreadsheet, f.shell};
  MainWindow other(with_desktop, folder);
  f.ui.yes_no_answers = {true};
  other.PushButton(8)->click();
  EXPECT_GT(other.form().ListView1.RowCount(), 0);
  // The user's setup, said plainly under the program's title: no error report to send in.
  ASSERT_EQ(f.ui.shown.size(), 2u);
  EXPECT_EQ(f.ui.shown[1].kind, ScriptedUi::Kind::Exclamation);
  EXPECT_EQ(f.ui.shown[1].title, "Tagloom");
  EXPECT_EQ(f.ui.shown[1].text,
            QStringLiteral("The folder could not be opened: no file manager is set up on this "
                           "computer.\r\rThe folder is here: ") +
                folder + QStringLiteral("/Samples/"));
}

TEST_F(MainWindowTest, WithoutASpreadsheetApplicationTheWorkbookIsWrittenAndItsPlaceNamed) {
  QTemporaryDir home;
  // The workbook goes to the user's documents: those of a home of the test's own.
  const ScopedVariable home_variable("HOME", home.path());
  const ScopedVariable config_variable("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")));
  const QString query = home.filePath(QStringLiteral("mime-query"));
  QFile script(query);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("#!/bin/sh\nexit 0\n");  // no application for workbooks
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  XlsxSpreadsheet workbook(std::make_unique<XdgSpreadsheetApp>(query));
  Services with_workbook{f.ui,     f.settings, f.clipboard, f.desktop, f.random,
                         f.events, files,      workbook,    f.shell};
  MainWindow other(with_workbook, folder);
  other.form().ListView2.AppendRow(QStringLiteral("a.mp3"));
  other.PushButton(13)->click();

  const QString saved_in = home.filePath(QStringLiteral("Documents/Tagloom"));
  const QStringList written = QDir(saved_in).entryList({QStringLiteral("*.xlsx")}, QDir::Files);
  ASSERT_EQ(written.size(), 1);
  EXPECT_TRUE(QFileInfo(saved_in + u'/' + written[0]).size() > 0);
  EXPECT_EQ(f.ui.Messages(),
            QStringList{QStringLiteral("The workbook was saved, but no spreadsheet application is "
                                       "set up to open it.\r\rFolder: ") +
                        saved_in + QStringLiteral("\rName: ") + written[0]});
  EXPECT_TRUE(f.ui.Reports().isEmpty());
}

/// The window with the real boxes and dialogs of the platform; each test looks at the one that
/// shows and closes it.
class MainWindowBoxesTest : public MainWindowTest {
 protected:
  void SetUp() override {
    services_with_boxes = std::make_unique<Services>(Services{
        ui, f.settings, f.clipboard, f.desktop, f.random, f.events, files, f.spreadsheet, f.shell});
    const auto bin = TestFiles::BinDir();
    if (!bin) GTEST_SKIP() << "TAGLOOM_BIN is not set";
    folder = QString::fromStdString(bin->string());
    window = std::make_unique<MainWindow>(*services_with_boxes, folder);
    ui.SetOwner(window.get());
    window->show();
  }

  /// Runs `look` on the modal box or dialog once it shows, then cancels it. False when none
  /// showed.
  bool WhenShown(const std::function<void()>& action, const std::function<void(QWidget*)>& look) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible()) return;
      poll.stop();
      seen = true;
      look(modal);
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
    poll.start();
    action();
    return seen;
  }

  static QLabel* BoxLabel(QWidget* box) {
    return box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  }
  /// Lines a label's text takes at its width.
  static int LinesOf(const QLabel& label) {
    QTextDocument doc;
    doc.setDefaultFont(label.font());
    doc.setDocumentMargin(0);
    if (label.textFormat() == Qt::RichText) {
      doc.setHtml(label.text());
    } else {
      doc.setPlainText(label.text());
    }
    doc.setTextWidth(label.contentsRect().width());
    doc.size();  // lays the text out
    int lines = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) lines += b.layout()->lineCount();
    return lines;
  }

  QtUi ui;
  std::unique_ptr<Services> services_with_boxes;
};

TEST_F(MainWindowBoxesTest, DialogFiltersShowEachPatternOnce) {
  QStringList filters;
  const auto look = [&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    for (int i = 0; i < types->count(); ++i) filters.append(types->itemText(i));
  };
  ASSERT_TRUE(WhenShown([&] { Button("PushButton4")->click(); }, look));
  EXPECT_EQ(filters, QStringList{QStringLiteral("All Files (*.mp3)")});

  filters.clear();
  window->form().ListView2.AddColumn(QStringLiteral("Filename"));
  window->form().ListView2.AppendRow(QStringLiteral("a.mp3"));
  ASSERT_TRUE(WhenShown([&] { Button("PushButton1")->click(); }, look));
  EXPECT_EQ(filters,
            QStringList({QStringLiteral("Text Files (*.txt)"), QStringLiteral("CSV (*.csv)"),
                         QStringLiteral("All Files (*.*)")}));
}

TEST_F(MainWindowBoxesTest, BoxesBreakLinesAtCarriageReturnsAndTheirTextCanBeCopied) {
  // The extension prompt: its two line breaks leave an empty line between its two lines.
  bool prompt_seen = false;
  ASSERT_TRUE(WhenShown([&] { Button("PushButton3")->click(); },
                        [&](QWidget* modal) {
                          ASSERT_NE(qobject_cast<QInputDialog*>(modal), nullptr);
                          for (QLabel* label : modal->findChildren<QLabel*>()) {
                            if (!label->text().startsWith(u"Enter file extension")) continue;
                            prompt_seen = true;
                            EXPECT_FALSE(label->text().contains(u'\r'));
                            EXPECT_EQ(LinesOf(*label), 3);
                            EXPECT_GE(label->sizeHint().height(),
                                      3 * label->fontMetrics().lineSpacing());
                          }
                        }));
  EXPECT_TRUE(prompt_seen);
  EXPECT_TRUE(f.settings.values.isEmpty());  // cancelled: nothing stored

  // An error report: the description, the location, an empty line, the request.
  ASSERT_TRUE(WhenShown(
      [&] {
        ui.Exclamation(QStringLiteral("Disk full\r\nin Form1 at line 124\r\rPlease email"),
                       QStringLiteral("Application Error"));
      },
      [&](QWidget* modal) {
        QLabel* label = BoxLabel(modal);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QStringLiteral("Disk full\nin Form1 at line 124\n\nPlease email"));
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(LinesOf(*label), 4);
        EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
      }));
}

TEST_F(MainWindowBoxesTest, HelpOffersTheAddressAsALinkOnALineOfItsOwn) {
  const QString address =
      QString::fromUtf16(Maker::kContactPage.data(), qsizetype(Maker::kContactPage.size()));
  ASSERT_TRUE(WhenShown(
      [&] { Button("PushButton9")->click(); },
      [&](QWidget* modal) {
        QLabel* label = BoxLabel(modal);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::RichText);
        // What the program is, how it is used, then whom to ask.
        EXPECT_TRUE(label->text().startsWith(u"Tagloom")) << label->text().toStdString();
        EXPECT_TRUE(label->text().contains(u"Start Extracting Tags"));
        EXPECT_TRUE(label->text().contains(u"Questions? Please contact Team Vendramel at"));
        EXPECT_TRUE(label->text().contains(QStringLiteral("<a href=\"%1\">%1</a>").arg(address)));
        EXPECT_TRUE(label->openExternalLinks());
        EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
        EXPECT_TRUE(label->textInteractionFlags() & Qt::LinksAccessibleByMouse);
        EXPECT_GE(LinesOf(*label), 7);  // the usage, the sentence, then the whole address
      }));
  EXPECT_TRUE(f.ui.shown.empty());
}

TEST(ProgramArtTest, PointerFilesLoadBackWithTheirPixelsAndHotspot) {
  const QImage hand = ProgramArt::HandPointerImage();
  const QByteArray cur = ProgramArt::IconFile(hand, ProgramArt::kHandHotspot);
  EXPECT_EQ(ProgramArt::CursorHotspot(cur), ProgramArt::kHandHotspot);
  const QImage loaded = QImage::fromData(cur);
  ASSERT_EQ(loaded.size(), QSize(32, 32));
  for (const QPoint p : {QPoint(0, 0), QPoint(13, 5), QPoint(20, 20), QPoint(31, 31)})
    EXPECT_EQ(loaded.pixel(p), hand.convertToFormat(QImage::Format_ARGB32).pixel(p)) << p.x();
  const QByteArray ico = ProgramArt::IconFile(ProgramArt::DragImage());
  EXPECT_EQ(QImage::fromData(ico).size(), QSize(32, 32));
  EXPECT_EQ(ProgramArt::CursorHotspot(ico), QPoint(0, 0));  // an icon has no hotspot
  EXPECT_EQ(ProgramArt::CursorHotspot(cur.left(21)), QPoint(0, 0));
  EXPECT_EQ(ProgramArt::CursorHotspot(QByteArray()), QPoint(0, 0));
}

}  // namespace

namespace {

QStringList ShownHeaders(QTreeView& view) {
  QStringList headers;
  for (int c = 0; c < view.model()->columnCount(); ++c)
    headers.append(view.model()->headerData(c, Qt::Horizontal).toString());
  return headers;
}

TEST_F(MainWindowTest, ColumnsButtonHeaderClicksAndStopDriveTheTable) {
  // "Columns…" hands the catalogue to the chooser and shows what came back.
  f.ui.column_answers.push_back({{"Filename", "Status", "Title"}, "windows-1252", false});
  QTest::mouseClick(window->ColumnsButton(), Qt::LeftButton);
  ASSERT_EQ(f.ui.column_requests.size(), 1u);
  EXPECT_EQ(f.ui.column_requests[0].chosen.size(), 12);
  EXPECT_TRUE(f.ui.column_requests[0].headers.contains("Duration"));
  ReportListView& results = window->ResultListView();
  EXPECT_EQ(ShownHeaders(results), QStringList({"Filename", "Status", "Title"}));

  QTest::mouseClick(Button("PushButton8"), Qt::LeftButton);  // the samples, no folder shown
  QTest::mouseClick(Button("PushButton10"), Qt::LeftButton);
  ASSERT_GT(results.model()->rowCount(), 5);
  EXPECT_EQ(results.model()->index(0, 1).data().toString(), "read");

  // A click on the Title header sorts up, another down, a third back to the run's order.
  QHeaderView* header = results.header();
  const auto click_title = [&] {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
  };
  const QString first = results.model()->index(0, 0).data().toString();
  click_title();
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), 2);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  const QString lowest = results.model()->index(0, 2).data().toString();
  click_title();
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_GE(results.model()->index(0, 2).data().toString().compare(lowest, Qt::CaseInsensitive), 0);
  click_title();
  EXPECT_FALSE(header->isSortIndicatorShown());
  EXPECT_EQ(results.model()->index(0, 0).data().toString(), first);

  // Stop is offered only while the run works, and ends it at the next file.
  EXPECT_FALSE(window->StopButton()->isEnabled());
  bool offered = false;
  int yields = 0;
  f.events.on_yield = [&](int) {
    offered = offered || window->StopButton()->isEnabled();
    if (++yields == 2) window->StopButton()->click();
  };
  QTest::mouseClick(Button("PushButton10"), Qt::LeftButton);
  EXPECT_TRUE(offered);
  EXPECT_EQ(results.model()->rowCount(), 1);
  EXPECT_TRUE(window->form().ProgressBar1.Caption().startsWith("Stopped after 1 of "));
  EXPECT_FALSE(window->StopButton()->isEnabled());
}

TEST(ColumnChooserTest, TicksOrderAndResetMakeTheChoice) {
  ColumnChoiceRequest request;
  request.headers = {"Filename", "Title", "Artist", "Duration", "Status"};
  request.groups = {"Default", "Default", "Default", "Audio", "Status"};
  request.chosen = {"Title", "Filename"};
  request.defaults = {"Filename", "Title", "Artist"};
  ColumnChooser chooser(request);
  QListWidget* list = chooser.List();
  ASSERT_EQ(list->count(), 5);
  EXPECT_EQ(list->item(0)->text(), "Title");  // the shown ones first, in their order
  EXPECT_EQ(list->item(3)->toolTip(), "Audio");
  EXPECT_EQ(chooser.Chosen(), QStringList({"Title", "Filename"}));

  list->item(4)->setCheckState(Qt::Checked);  // Status
  list->model()->moveRow({}, 4, {}, 0);       // dragged to the top
  EXPECT_EQ(chooser.Chosen(), QStringList({"Status", "Title", "Filename"}));

  auto* ok = chooser.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(ok->isEnabled());  // a table needs a column
  chooser.findChild<QPushButton*>("ResetColumns")->click();
  EXPECT_EQ(chooser.Chosen(), request.defaults);
  EXPECT_TRUE(ok->isEnabled());
}

}  // namespace
