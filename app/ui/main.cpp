// tagloom: the Tagloom window. The program's folder holds what it looks for beside itself:
// the skin x/o.cjs, the pointer pictures and the Samples folder.
#include <QApplication>
#include <memory>

#include "app/ui/MainWindow.h"
#include "platform/ClockRandomSource.h"
#include "platform/PosixFileSystem.h"
#include "platform/Services.h"
#include "platform/qt/QSettingsStore.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtUi.h"
#include "platform/taglib/TagLibFormatReader.h"
#include "platform/taglib/TagLibShellProperties.h"
#include "platform/xlsx/XlsxSpreadsheet.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tagloom"));
  QApplication::setApplicationVersion(QStringLiteral(TAGLOOM_VERSION));
  // Lets Wayland desktops match the window with the menu entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("tagloom"));

  QtUi ui;
  QSettingsStore settings;
  QtClipboard clipboard;
  QtDesktop desktop;
  ClockRandomSource random;
  QtEventLoop events;
  PosixFileSystem files;
  XlsxSpreadsheet spreadsheet(std::make_unique<XdgSpreadsheetApp>());
  TagLibShellProperties shell;
  Services services{ui, settings, clipboard, desktop, random, events, files, spreadsheet, shell};

  MainWindow window(services, QCoreApplication::applicationDirPath());
  window.form().SetOtherFormatReader(std::make_shared<TagLibFormatReader>());
  ui.SetOwner(&window);
  window.show();
  // The program ends through the end of this loop, also when a long action was yielding as the
  // window closed, so the clipboard's text is handed over to the desktop.
  return app.exec();
}
