// The settings file shared between processes: writers that run at once lose
// nothing, and a writer killed at any moment leaves the old or the new file.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>

#include "platform/keyfile/key_file_store.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/VelPreferenceKeys.h"
#include "support/process.h"

namespace {

using moonwisp::readKeyFile;
using moonwisp::test::ChildProcess;

class VelPreferenceProcesses : public ::testing::Test {
 protected:
  void SetUp() override { moonwisp::test::writeFile(path, "[" + std::string(group) + "]\nsentinel=keep\n"); }
  // Whether the file reads as a whole one, written by the writers or not.
  bool whole(const moonwisp::KeyFileSnapshot& now) const {
    return now.state == moonwisp::KeyFileState::Loaded && now.file.string(group, "sentinel") == "keep";
  }

  moonwisp::test::TestFolder folder;
  const std::string path = folder / "preferences.ini";
  const char* group = velPrefsGroup();
};

// Each writer checks after each of its writes that its value is there.
TEST_F(VelPreferenceProcesses, TwoWritersOfDifferentKeysLoseNothing) {
  ChildProcess a({PREFS_TEST_WRITER, "key", path, "quantity", "400"});
  ChildProcess b({PREFS_TEST_WRITER, "key", path, "particleColor", "400"});
  int reads = 0;
  int torn = 0;
  while (a.running() || b.running()) {
    torn += !whole(readKeyFile(path));
    ++reads;
    usleep(300);
  }
  const char* codes = "3: a write failed, 4: a read did not parse, 5: its own value was lost\n";
  EXPECT_TRUE(moonwisp::test::exitedWith(a.waitFor(0), 0)) << codes << a.report();
  EXPECT_TRUE(moonwisp::test::exitedWith(b.waitFor(0), 0)) << codes << b.report();
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  const moonwisp::KeyFileSnapshot last = readKeyFile(path);
  EXPECT_EQ(last.file.integer(group, "quantity"), 400);
  EXPECT_EQ(last.file.integer(group, "particleColor"), 400);
}

TEST_F(VelPreferenceProcesses, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
  std::mt19937 random(20261206);
  long last = 0;
  int advanced = 0;
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    ChildProcess writer({PREFS_TEST_WRITER, "records", path, std::to_string(last + 1)});
    // Half the rounds kill it at any moment from its start on, half surely
    // while it writes: once the file has changed.
    for (int i = 0; round % 2 == 1 && i < 4000; ++i) {
      if (readKeyFile(path).file.integer(group, "quantity").value_or(0) > last) break;
      usleep(500);
    }
    usleep(std::uniform_int_distribution<useconds_t>(0, round % 2 ? 3000 : 20000)(random));
    writer.signal(SIGKILL);
    ASSERT_TRUE(writer.waitFor(10000));
    const moonwisp::KeyFileSnapshot now = readKeyFile(path);
    ASSERT_TRUE(whole(now)) << now.reason;
    // Every field follows from k in a whole record.
    const long k = now.file.integer(group, "quantity").value_or(0);
    ASSERT_GE(k, last);
    EXPECT_TRUE(k == 0 || (now.file.integer(group, "particleColor") == k % 8 &&
                           now.file.integer(group, "glow") == k % 2 &&
                           now.file.boolean(group, "mainscreenonly") == (k % 3 == 0) &&
                           now.file.boolean(group, "checkForUpdates") == (k % 5 == 0)))
        << k;
    advanced += k > last;
    last = k;
  }
  EXPECT_GE(advanced, 40);
  // The record still reads, and a later write cleans up after the killed ones.
  VelPrefs prefs;
  VelPreferenceHandler(path).getVelPrefs(&prefs);
  EXPECT_EQ(prefs.quantity, std::clamp(last, 20L, 220L));
  VelPreferenceHandler(path).setVelPrefs(&prefs);
  EXPECT_FALSE(moonwisp::test::exists(path + ".tmp"));
}

}  // namespace
