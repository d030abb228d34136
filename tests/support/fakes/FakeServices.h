#pragma once

#include "platform/Services.h"
#include "tests/support/fakes/FakeFileSystem.h"
#include "tests/support/fakes/FakeShellProperties.h"
#include "tests/support/fakes/MemoryServices.h"
#include "tests/support/fakes/RecordingSpreadsheet.h"
#include "tests/support/fakes/ScriptedUi.h"

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
