// Linked into every test program: the folders of the build that made it stand in for the
// environment CTest would pass, so a test finds the programs, samples and peer files also when
// run straight from a shell. A variable already set wins.
#include <cstdlib>

namespace {

const bool kEnvironmentReady = [] {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("TAGLOOM_BIN", TAGLOOM_TEST_BIN_DIR, 0);
  setenv("TAGLOOM_SAMPLES", TAGLOOM_TEST_BIN_DIR "/Samples", 0);
  setenv("TAGLOOM_PEERS", TAGLOOM_TEST_PEERS_DIR, 0);
  return true;
}();

}  // namespace
