#pragma once

#include "platform/Services.h"
#include "tests/platform/fakes/FakeFileSystem.h"
#include "tests/platform/fakes/FakeShellProperties.h"
#include "tests/platform/fakes/MemoryServices.h"
#include "tests/platform/fakes/RecordingSpreadsheet.h"
#include "tests/platform/fakes/ScriptedUi.h"

/// Every service as a fake, ready to hand to a handler: `FakeServices f; Handler h(f.services);`
struct FakeServices {
  ScriptedUi ui;
  MemorySettings settings;
  MemoryClipboard clipboard;
  RecordingDesktop desktop;
  ScriptedRandom random;
  FakeEventLoop events;
  FakeFileSystem files;
  RecordingSpreadsheet spreadsheet;
  FakeShellProperties shell;
  Services services{ui, settings, clipboard, desktop, random, events, files, spreadsheet, shell};
};
