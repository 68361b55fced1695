// The key-file parser and the store that shares one file between processes:
// hostile files, failing disks and permissions, and the first write's modes.
#include "platform/keyfile/key_file_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <cerrno>
#include <csignal>
#include <regex>

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

using namespace test;  // NOLINT: files and folders
using S = KeyFileState;

TEST(KeyFile, NumbersMustFitAndRefusalsAreShortAndPrintable) {
  KeyFile file;
  std::string error;
  EXPECT_TRUE(file.parse("[g]\nn=9223372036854775808\n", 26, &error) && !file.integer("g", "n")) << error;
  const std::string terminal = "[g]\n\x1b]0;\x07\xff" + std::string(9999, 'x');
  for (const std::string& bad : {std::string("[g]\nq=1\0x\n", 10), terminal}) {
    EXPECT_FALSE(file.parse(bad.data(), bad.size(), &error));
    EXPECT_TRUE(error.size() < 800 && error.find_first_of("\x1b\x07\xff") == std::string::npos) << error;
  }
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
  EXPECT_TRUE(KeyFileStore(path).update([](KeyFile&) { return false; }));
  EXPECT_FALSE(exists(path));  // nor does an edit that changes nothing
  const mode_t oldMask = umask(022);
  ASSERT_TRUE(store(path, 7));
  umask(oldMask);
  EXPECT_EQ(modeOf(folder / "config") | modeOf(folder / "config/app"), 0700u);
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(folder.list("config/app"), (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));

  writeFile(path, "# by hand\n[g]\nq=1\n# keep\nunknown=from a newer version\n\n[other]\nx=1\n");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(store(path, 2));
  const std::string written = readFile(path);
  ASSERT_TRUE(store(path, 2));
  EXPECT_EQ(readFile(path), written);  // nothing drifts when written again
  // Blank lines are GLib's to place (versions differ after a leading comment);
  // every line with content is ours to keep.
  EXPECT_EQ(std::regex_replace(written, std::regex("\n+"), "\n"),
            "# by hand\n[g]\nq=2\n# keep\nunknown=from a newer version\n[other]\nx=1\n");
  EXPECT_TRUE(modeOf(path) == 0640u && log.empty());
}

TEST_F(KeyFileStoreTest, HostileFilesAreNeitherTrustedNorLost) {
  std::string full = "[g]\nq=1\n#";
  full += std::string(KeyFileStore::kMaxFileSize - full.size(), 'y');  // an update takes it over the limit
  const struct {
    mode_t type;          // what is found: a file, folder, pipe or link
    std::string content;  // or where the link points
    S state;
    const char* holder;  // the file that then holds the new content; "" when it is not replaced
  } cases[] = {
      {S_IFREG, std::string("\x89PNG\0\0binary", 12), S::Unparsable, "settings.ini"},
      {S_IFREG, full + "y", S::TooLarge, "settings.ini"},
      {S_IFREG, full, S::Loaded, ""},
      {S_IFDIR, "", S::NotAFile, ""},
      {S_IFIFO, "", S::NotAFile, ""},
      {S_IFLNK, "nowhere/x", S::Missing, "settings.ini"},
      {S_IFLNK, "dotfiles/settings.ini", S::Loaded, "dotfiles/settings.ini"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 24));
    TestFolder here;
    const std::string path = here / "settings.ini";
    mkdir((here / "dotfiles").c_str(), 0700);
    writeFile(here / "dotfiles/settings.ini", "[g]\nq=1\n");  // the user's own copy, linked
    const std::string stale = temporaryPathFor(here / (*c.holder ? c.holder : "settings.ini"));
    writeFile(stale, "[g]\nq=half writ");  // left by a killed writer
    if (c.type == S_IFDIR) mkdir(path.c_str(), 0700);
    if (c.type == S_IFIFO) mkfifo(path.c_str(), 0600);
    if (c.type == S_IFLNK) symlink(c.content.c_str(), path.c_str());
    if (c.type == S_IFREG) writeFile(path, c.content);
    const std::vector<std::string> before = here.list();
    EXPECT_EQ(KeyFileStore(path).read().state, c.state);
    EXPECT_EQ(here.list(), before);  // reading changed nothing
    log.clear();
    const bool replaced = *c.holder != '\0';
    const bool keptAside = c.state == S::Unparsable || c.state == S::TooLarge;
    EXPECT_EQ(store(path, 12), replaced);
    EXPECT_EQ(exists(stale), !replaced);
    ASSERT_EQ(log.size(), replaced && !keptAside ? 0u : 1u);
    if (replaced) EXPECT_EQ(readFile(here / c.holder), "[g]\nq=12\n");
    // Refused: as it was, and the log names the file.
    else EXPECT_TRUE(log[0].find(path) != std::string::npos && (c.type != S_IFREG || readFile(path) == c.content));
    const std::vector<std::string> after = here.list();
    if (keptAside) {
      ASSERT_EQ(after.size(), 4u);  // sorted: dotfiles, the file, its copy, the lock file
      EXPECT_TRUE(after[2].rfind("settings.ini.broken-", 0) == 0 && readFile(here / after[2]) == c.content);
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
    int fault;            // EFBIG: the disk is full; EIO: a failing disk reports at the flush
    const char* reason;
  } cases[] = {
      {path, "", 0500, 0, "Permission denied"},
      {path, "settings.ini", 0200, 0, "Permission denied"},  // it cannot be read, so its keys cannot be kept
      {folder / "in-the-way/settings.ini", "", 0700, 0, "Not a directory"},
      {path, "", 0700, EFBIG, "File too large"},
      {path, "", 0700, EIO, "Input/output error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    // As an unprivileged user: permissions bind root too little.
    EXPECT_TRUE(runAsUnprivilegedUser(folder.path(), [&] {
      log.clear();
      chmod((folder / c.changed).c_str(), c.mode);
      if (c.fault == EFBIG) setrlimit(RLIMIT_FSIZE, &fullDisk);
      failFlushWith = c.fault == EIO ? EIO : 0;
      const bool refused = !store(c.path, 2);
      failFlushWith = 0;
      setrlimit(RLIMIT_FSIZE, &unlimited);
      chmod((folder / c.changed).c_str(), 0700);
      return refused && !exists(temporaryPathFor(path)) && log.size() == 1 &&
             log[0].find(c.reason) != std::string::npos;
    }));
    EXPECT_EQ(readFile(path), before);
  }
}

}  // namespace
}  // namespace moonwisp
