#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"

// A real X server for the tests that need real pointer moves and the server's own cursor. Plain
// C++ and Xlib only: Xlib's macros must not meet Qt's headers.
namespace XServer {

/// An Xvfb of the test's own on a display number it picks itself; stopped with the object.
class Xvfb {
 public:
  Xvfb();
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool Running() const { return server_ && !display_.empty(); }
  /// ":N" once the server accepts connections.
  const std::string& Display() const { return display_; }
  /// Why no server runs, for the skip message.
  const std::string& Problem() const { return problem_; }

 private:
  std::unique_ptr<TestFiles::Started> server_;  // sent SIGTERM and waited for when it goes
  std::string display_;
  std::string problem_;
};

/// The pointer picture the server shows at this moment (XFixes), pixels as ARGB.
struct Cursor {
  int width = 0;
  int height = 0;
  int hot_x = 0;
  int hot_y = 0;
  std::string name;  // the theme's name for it, empty for a picture of the program's own
  std::vector<unsigned long> pixels;
};
std::optional<Cursor> CurrentCursor(const std::string& display);

/// A mouse button pressed and released where the pointer is, as a device would (XTest).
bool Click(const std::string& display, int button = 1);
/// A key pressed and released, named as X names it ("Delete"), as a keyboard would (XTest).
bool Key(const std::string& display, const std::string& name);

}  // namespace XServer
