#pragma once

#include "platform/Clipboard.h"
#include "platform/Desktop.h"
#include "platform/EventLoop.h"
#include "platform/FileSystem.h"
#include "platform/RandomSource.h"
#include "platform/SettingsStore.h"
#include "platform/ShellProperties.h"
#include "platform/Spreadsheet.h"
#include "platform/Ui.h"

/// The platform services a handler may use; the window owns them, tests pass fakes.
struct Services {
  Ui& ui;
  SettingsStore& settings;
  Clipboard& clipboard;
  Desktop& desktop;
  RandomSource& random;
  EventLoop& events;
  FileSystem& files;
  Spreadsheet& spreadsheet;
  ShellProperties& shell;
};
