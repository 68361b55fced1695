// The store shared between processes: concurrent writers and killed writers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include "support/process.h"
#include "platform/keyfile/key_file_store.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/VelPreferenceKeys.h"

namespace {

using moonwisp::KeyFileSnapshot;
using moonwisp::KeyFileState;
using moonwisp::readKeyFile;
using moonwisp::test::TestFolder;
using moonwisp::test::writeFile;

std::string header() { return std::string("# kept by every writer\n[") + velPrefsGroup() + "]\nsentinel=keep\n"; }

TEST(VelPreferenceProcesses, TwoWritersOfDifferentKeysLoseNothing) {
  TestFolder folder;
  const std::string path = folder / "preferences.ini";
  writeFile(path, header());
  moonwisp::test::ChildProcess a({PREFS_TEST_WRITER, "key", path, "quantity", "500"});
  moonwisp::test::ChildProcess b({PREFS_TEST_WRITER, "key", path, "particleColor", "500"});
  ASSERT_TRUE(a.started() && b.started());

  // Meanwhile every read finds a whole file.
  int reads = 0, unparsed = 0;
  while (a.running() || b.running()) {
    const KeyFileSnapshot now = readKeyFile(path);
    ++reads;
    if (now.state != KeyFileState::Loaded || !now.file.hasKey(velPrefsGroup(), "sentinel")) ++unparsed;
    usleep(500);
  }
  EXPECT_TRUE(moonwisp::test::exitedWith(a.waitFor(0), 0)) << "3: write failed, 4: a read did not parse, 5: own value lost";
  EXPECT_TRUE(moonwisp::test::exitedWith(b.waitFor(0), 0)) << "3: write failed, 4: a read did not parse, 5: own value lost";
  EXPECT_EQ(unparsed, 0) << "of " << reads << " reads";

  const KeyFileSnapshot last = readKeyFile(path);
  ASSERT_EQ(last.state, KeyFileState::Loaded);
  EXPECT_EQ(last.file.integer(velPrefsGroup(), "quantity"), 500);
  EXPECT_EQ(last.file.integer(velPrefsGroup(), "particleColor"), 500);
  EXPECT_EQ(last.file.string(velPrefsGroup(), "sentinel"), "keep");
}

TEST(VelPreferenceProcesses, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
  TestFolder folder;
  const std::string path = folder / "preferences.ini";
  writeFile(path, header());
  const char* group = velPrefsGroup();
  std::mt19937 random(20261206);
  long last = 0;
  int advanced = 0;
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    moonwisp::test::ChildProcess writer({PREFS_TEST_WRITER, "records", path, std::to_string(last + 1)});
    ASSERT_TRUE(writer.started());
    if (round % 2 == 0) {
      // Any moment, from start-up on.
      usleep(std::uniform_int_distribution<useconds_t>(0, 20000)(random));
    } else {
      // Surely while writes are going on: once the file has changed.
      for (int i = 0; i < 4000; ++i) {
        const KeyFileSnapshot now = readKeyFile(path);
        if (now.file.integer(group, "quantity").value_or(0) > last) break;
        usleep(500);
      }
      usleep(std::uniform_int_distribution<useconds_t>(0, 3000)(random));
    }
    writer.signal(SIGKILL);
    ASSERT_TRUE(writer.waitFor(10000));

    const KeyFileSnapshot now = readKeyFile(path);
    ASSERT_EQ(now.state, KeyFileState::Loaded) << now.reason;
    EXPECT_EQ(now.file.string(group, "sentinel"), "keep");
    const long k = now.file.integer(group, "quantity").value_or(0);
    ASSERT_GE(k, last);
    if (k > 0) {
      EXPECT_EQ(now.file.integer(group, "particleColor"), k % 8);
      EXPECT_EQ(now.file.integer(group, "glow"), k % 2);
      EXPECT_EQ(now.file.boolean(group, "mainscreenonly"), k % 3 == 0);
      EXPECT_EQ(now.file.boolean(group, "checkForUpdates"), k % 5 == 0);
    }
    if (k > last) ++advanced;
    last = k;
  }
  EXPECT_GE(advanced, 40);
  // The record still reads, and a later write cleans up after the killed ones.
  VelPrefs prefs;
  VelPreferenceHandler(path).getVelPrefs(&prefs);
  EXPECT_EQ(prefs.quantity, last < 20 ? 20 : last > 220 ? 220 : last);
  VelPreferenceHandler(path).setVelPrefs(&prefs);
  EXPECT_FALSE(moonwisp::test::exists(path + ".tmp"));
}

}  // namespace
