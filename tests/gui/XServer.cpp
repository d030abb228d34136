#include "tests/gui/XServer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace XServer {

Xvfb::Xvfb() {
  int ready[2];
  if (::pipe(ready) != 0) {
    problem_ = std::string("no pipe for Xvfb: ") + std::strerror(errno);
    return;
  }
  ::fcntl(ready[0], F_SETFD, FD_CLOEXEC);
  // The server writes the display number it found free to this descriptor once it listens.
  const std::string fd = std::to_string(ready[1]);
  server_ = std::make_unique<TestFiles::Started>(
      "Xvfb", std::vector<std::string>{"-displayfd", fd, "-screen", "0", "1280x1024x24",
                                       "-nolisten", "tcp"});
  ::close(ready[1]);
  if (const int spawned = server_->StartError(); spawned != 0) {
    server_.reset();
    ::close(ready[0]);
    problem_ = spawned == ENOENT ? "Xvfb is not installed (scripts/deps.sh installs it)"
                                 : std::string("Xvfb did not start: ") + std::strerror(spawned);
    return;
  }
  std::string number;
  pollfd wait{ready[0], POLLIN, 0};
  char ch = 0;
  while (::poll(&wait, 1, 10000) == 1 && ::read(ready[0], &ch, 1) == 1 && ch != '\n') number += ch;
  ::close(ready[0]);
  if (ch != '\n' || number.empty()) {
    problem_ = "Xvfb did not report a display within 10 s";
    return;
  }
  display_ = ":" + number;
}

Xvfb::~Xvfb() = default;

std::optional<Cursor> CurrentCursor(const std::string& display) {
  ::Display* d = XOpenDisplay(display.c_str());
  if (!d) return std::nullopt;
  std::optional<Cursor> out;
  int event_base = 0, error_base = 0;
  if (XFixesQueryExtension(d, &event_base, &error_base)) {
    if (XFixesCursorImage* image = XFixesGetCursorImage(d)) {
      Cursor c;
      c.width = image->width;
      c.height = image->height;
      c.hot_x = image->xhot;
      c.hot_y = image->yhot;
      c.name = image->name ? image->name : "";
      c.pixels.assign(image->pixels, image->pixels + size_t(image->width) * image->height);
      out = std::move(c);
      XFree(image);
    }
  }
  XCloseDisplay(d);
  return out;
}

namespace {

template <typename Send>
bool WithServer(const std::string& display, Send send) {
  ::Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  const bool sent = XTestQueryExtension(d, &event_base, &error_base, &major, &minor) && send(d);
  XSync(d, False);
  XCloseDisplay(d);
  return sent;
}

}  // namespace

bool Click(const std::string& display, int button) {
  return WithServer(display, [button](::Display* d) {
    return XTestFakeButtonEvent(d, unsigned(button), True, CurrentTime) &&
           XTestFakeButtonEvent(d, unsigned(button), False, CurrentTime);
  });
}

bool Key(const std::string& display, const std::string& name) {
  return WithServer(display, [&name](::Display* d) {
    const KeySym sym = XStringToKeysym(name.c_str());
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(d, sym);
    return code != 0 && XTestFakeKeyEvent(d, code, True, CurrentTime) &&
           XTestFakeKeyEvent(d, code, False, CurrentTime);
  });
}

}  // namespace XServer
