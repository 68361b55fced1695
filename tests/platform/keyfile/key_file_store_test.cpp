// The key-file parser and the store that shares one file between processes:
// hostile files, failing disks and permissions, and the first write's modes.
#include "platform/keyfile/key_file_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "platform/core/system_log.h"
#include "platform/keyfile/durable_file.h"
#include "support/files.h"

// The store's fsync comes from here rather than the C library, so that a test
// can make the disk fail as a failing one does: at the flush.
static int failFlushWith = 0;
extern "C" int fsync(int fd) {
  errno = failFlushWith;
  return failFlushWith != 0 ? -1 : static_cast<int>(syscall(SYS_fsync, fd));
}

namespace moonwisp {
namespace {

using test::exists;
using test::readFile;
using test::TestFolder;
using test::writeFile;
using S = KeyFileState;

TEST(KeyFile, ValuesAreReadStrictlyAndTextThatIsNoKeyFileIsRefused) {
  const std::string text =
      "[g]\nmax=9223372036854775807\nover=9223372036854775808\nhex=0x10\nbad=\xff\nq=1\nq=3\n";
  KeyFile file;
  std::string error;
  ASSERT_TRUE(file.parse(text.data(), text.size(), &error)) << error;
  EXPECT_EQ(file.integer("g", "max"), INT64_MAX);
  EXPECT_EQ(file.integer("g", "q"), 3);  // the last of repeated keys
  EXPECT_FALSE(file.integer("g", "over") || file.integer("g", "hex") || file.string("g", "bad"));
  const std::string hostile = "[g]\n\x1b]0;title\x07\xff" + std::string(10000, 'x') + "\n";
  EXPECT_FALSE(file.parse(hostile.data(), hostile.size(), &error));
  EXPECT_EQ(file.serialize(), "");
  EXPECT_TRUE(error.size() < 800 && error.find_first_of("\x1b\x07\xff") == std::string::npos) << error;
}

class KeyFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { setSystemLogSink([this](const std::string& line) { log.push_back(line); }); }
  void TearDown() override { setSystemLogSink(nullptr); }
  static bool store(const std::string& path, int64_t value) {
    return KeyFileStore(path).update([value](KeyFile& file) {
      file.setInteger("g", "q", value);
      return true;
    });
  }
  TestFolder folder;
  std::vector<std::string> log;
};

TEST_F(KeyFileStoreTest, FirstWriteIsPrivateAndLaterWritesKeepEverythingElse) {
  const std::string path = folder / "config/app/settings.ini";
  EXPECT_EQ(KeyFileStore(path).read().state, S::Missing);
  EXPECT_TRUE(folder.list().empty());  // a read creates nothing
  EXPECT_TRUE(KeyFileStore(path).update([](KeyFile&) { return false; }));
  EXPECT_FALSE(exists(path));  // nor does an edit that changes nothing
  const mode_t oldMask = umask(022);
  ASSERT_TRUE(store(path, 7));
  umask(oldMask);
  EXPECT_EQ(test::modeOf(folder / "config") | test::modeOf(folder / "config/app"), 0700u);
  EXPECT_EQ(test::modeOf(path), 0600u);
  EXPECT_EQ(folder.list("config/app"), (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));

  writeFile(path, "# by hand\n[g]\nq=1\n# keep\nunknown=from a newer version\n\n[other]\nx=1\n");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(store(path, 2) && store(path, 2));  // nothing drifts when written again
  EXPECT_EQ(readFile(path), "# by hand\n\n[g]\nq=2\n# keep\nunknown=from a newer version\n\n[other]\nx=1\n");
  EXPECT_EQ(test::modeOf(path), 0640u);
  EXPECT_TRUE(log.empty());
}

TEST_F(KeyFileStoreTest, HostileFilesAreNeitherTrustedNorLost) {
  std::string full = "[g]\nq=1\n#";
  full += std::string(KeyFileStore::kMaxFileSize - full.size(), 'y');  // an update takes it over the limit
  const struct {
    const char* name;  // what is planted: a file, folder, pipe or link
    mode_t type;
    std::string content;  // or where the link points
    S state;
    const char* holder;  // the file that then holds the new content; "" when it is not replaced
  } cases[] = {
      {"settings.ini", S_IFREG, std::string("\x89PNG\0\0binary", 12), S::Unparsable, "settings.ini"},
      {"settings.ini", S_IFREG, full + "y", S::TooLarge, "settings.ini"},
      {"settings.ini", S_IFREG, full, S::Loaded, ""},
      {"settings.ini", S_IFDIR, "", S::NotAFile, ""},
      {"settings.ini", S_IFIFO, "", S::NotAFile, ""},
      {"settings.ini", S_IFLNK, "nowhere/x", S::Missing, "settings.ini"},
      {"settings.ini", S_IFLNK, "dotfiles/settings.ini", S::Loaded, "dotfiles/settings.ini"},
      {"settings.ini.tmp", S_IFREG, "[g]\nq=half writ", S::Missing, "settings.ini"},  // of a killed writer
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 24));
    TestFolder here;
    const std::string path = here / "settings.ini";
    const std::string planted = here / c.name;
    mkdir((here / "dotfiles").c_str(), 0700);
    writeFile(here / "dotfiles/settings.ini", "[g]\nq=1\n");  // the user's own copy, linked
    if (c.type == S_IFDIR) mkdir(planted.c_str(), 0700);
    if (c.type == S_IFIFO) mkfifo(planted.c_str(), 0600);
    if (c.type == S_IFLNK) symlink(c.content.c_str(), planted.c_str());
    if (c.type == S_IFREG) writeFile(planted, c.content);
    const std::vector<std::string> before = here.list();
    EXPECT_EQ(KeyFileStore(path).read().state, c.state);
    EXPECT_EQ(here.list(), before);  // reading changed nothing
    log.clear();
    const bool keptAside = c.state == S::Unparsable || c.state == S::TooLarge;
    EXPECT_EQ(store(path, 12), *c.holder != '\0');
    const std::vector<std::string> after = here.list();
    EXPECT_FALSE(exists(temporaryPathFor(path)));
    ASSERT_EQ(log.size(), *c.holder && !keptAside ? 0u : 1u);
    if (*c.holder == '\0') {
      EXPECT_NE(log[0].find(path), std::string::npos) << log[0];
      EXPECT_EQ(after.size(), before.size() + 1);  // only the lock file is new
      if (c.type == S_IFREG) EXPECT_TRUE(readFile(path) == c.content);
    } else {
      EXPECT_EQ(readFile(here / c.holder), "[g]\nq=12\n");
    }
    if (keptAside) {
      ASSERT_EQ(after.size(), 4u);  // sorted: dotfiles, the file, its copy, the lock file
      EXPECT_EQ(after[2].rfind("settings.ini.broken-", 0), 0u) << after[2];
      EXPECT_TRUE(readFile(here / after[2]) == c.content);
      EXPECT_NE(log[0].find(after[2]), std::string::npos) << log[0];
    }
  }
}

TEST_F(KeyFileStoreTest, WhereTheWriteCannotHappenThePreviousFileStays) {
  const std::string path = folder / "settings.ini";
  const std::string before = "[g]\nq=1\nother=keep\n";
  writeFile(path, before);
  writeFile(path + ".lock", "");
  writeFile(folder / "in-the-way", "");
  struct rlimit unlimited;
  getrlimit(RLIMIT_FSIZE, &unlimited);
  const struct rlimit fullDisk = {8, unlimited.rlim_max};  // every write past 8 bytes fails
  signal(SIGXFSZ, SIG_IGN);
  const struct {
    std::string path;
    const char* changed;  // what is given mode
    mode_t mode;
    bool full;       // the disk is full
    int flushError;  // a failing disk reports at the flush
    S state;
    const char* reason;
  } cases[] = {
      {path, "", 0500, false, 0, S::Loaded, "Permission denied"},
      {path, "settings.ini", 0200, false, 0, S::Unreadable, "Permission denied"},
      {folder / "in-the-way/settings.ini", "", 0700, false, 0, S::Missing, "Not a directory"},
      {path, "", 0700, true, 0, S::Loaded, "File too large"},
      {path, "", 0700, false, EIO, S::Loaded, "Input/output error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    // As an unprivileged user: permissions bind root too little.
    EXPECT_TRUE(test::runAsUnprivilegedUser(folder.path(), [&] {
      log.clear();
      chmod((folder / c.changed).c_str(), c.mode);
      const bool readAsExpected = KeyFileStore(c.path).read().state == c.state;
      if (c.full) setrlimit(RLIMIT_FSIZE, &fullDisk);
      failFlushWith = c.flushError;
      const bool refused = !store(c.path, 2);
      failFlushWith = 0;
      setrlimit(RLIMIT_FSIZE, &unlimited);
      chmod((folder / c.changed).c_str(), 0700);
      return readAsExpected && refused && !exists(temporaryPathFor(path)) && log.size() == 1 &&
             log[0].find(c.reason) != std::string::npos;
    }));
    EXPECT_EQ(readFile(path), before);
  }
  signal(SIGXFSZ, SIG_DFL);
}

}  // namespace
}  // namespace moonwisp
