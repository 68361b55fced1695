// The key-file parser and the store that shares one file between processes:
// hostile files, failing disks and permissions, and the first write's modes.
#include "platform/keyfile/key_file_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/system_log.h"
#include "platform/keyfile/durable_file.h"
#include "support/files.h"

// The store's fsync comes from here rather than the C library, so that a test
// can see what was flushed and make the disk fail as it does at that call.
static std::vector<std::string> flushed;
static int failFlushWith = 0;
extern "C" int fsync(int fd) {
  if (failFlushWith != 0) {
    errno = failFlushWith;
    return -1;
  }
  char path[PATH_MAX] = {};
  if (readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1) > 0) flushed.push_back(path);
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace moonwisp {
namespace {

using test::exists;
using test::readFile;
using test::TestFolder;
using test::writeFile;

TEST(KeyFile, ValuesAreReadStrictly) {
  const std::string text =
      "[g]\nmax=9223372036854775807\nmin=-9223372036854775808\nplus=+5\nover=9223372036854775808\n"
      "trailing=12abc\nfloat=1.5\nhex=0x10\nempty=\nt=true\none=1\nyes=yes\nupper=TRUE\nbad=\xff\nq=1\nq=3\n";
  KeyFile file;
  std::string error;
  ASSERT_TRUE(file.parse(text.data(), text.size(), &error)) << error;
  EXPECT_EQ(file.integer("g", "max"), INT64_MAX);
  EXPECT_EQ(file.integer("g", "min"), INT64_MIN);
  EXPECT_EQ(file.integer("g", "plus"), 5);
  EXPECT_EQ(file.integer("g", "q"), 3);  // the last of repeated keys
  for (const char* key : {"over", "trailing", "float", "hex", "empty", "t", "absent"})
    EXPECT_FALSE(file.integer("g", key).has_value()) << key;
  EXPECT_EQ(file.boolean("g", "t"), true);
  EXPECT_EQ(file.boolean("g", "one"), true);
  EXPECT_FALSE(file.boolean("g", "yes").has_value());
  EXPECT_FALSE(file.boolean("g", "upper").has_value());
  EXPECT_FALSE(file.string("g", "bad").has_value());  // not UTF-8
  EXPECT_TRUE(file.hasKey("g", "bad"));
}

TEST(KeyFile, TextThatIsNoKeyFileIsRefusedWithAShortPrintableReason) {
  const std::string terminal = "[g]\n\x1b]0;title\x07\xff" + std::string(10000, 'x') + "\n";
  for (const std::string& text : {std::string("key=before any group\n"), std::string("[g]\nnot a pair\n"),
                                  std::string("[g]\nq=1\0garbage\n", 16), terminal}) {
    KeyFile file;
    std::string error;
    ASSERT_TRUE(file.parse("[g]\nq=1\n", 8, &error));
    EXPECT_FALSE(file.parse(text.data(), text.size(), &error));
    EXPECT_EQ(file.serialize(), "");
    EXPECT_TRUE(!error.empty() && error.size() < 800) << error;
    EXPECT_EQ(error.find_first_of("\x1b\x07\xff"), std::string::npos) << error;
  }
}

class KeyFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setSystemLogSink([this](const std::string& line) { log.push_back(line); });
    flushed.clear();
  }
  void TearDown() override { setSystemLogSink(nullptr); }
  static bool store(const std::string& path, int64_t value) {
    return KeyFileStore(path).update([value](KeyFile& file) {
      file.setInteger("g", "q", value);
      return true;
    });
  }
  std::string loggedText() const {
    std::string all;
    for (const std::string& line : log) all += line + "\n";
    return all;
  }

  TestFolder folder;
  std::vector<std::string> log;
};

TEST_F(KeyFileStoreTest, FirstWriteIsPrivateAndFlushedAndLaterWritesKeepEverythingElse) {
  const std::string path = folder / "config/app/settings.ini";
  EXPECT_EQ(KeyFileStore(path).read().state, KeyFileState::Missing);
  EXPECT_TRUE(folder.list().empty());  // a read creates nothing
  EXPECT_TRUE(KeyFileStore(path).update([](KeyFile&) { return false; }));
  EXPECT_FALSE(exists(path));  // nor does an edit that changes nothing

  const mode_t oldMask = umask(022);
  ASSERT_TRUE(store(path, 7));
  umask(oldMask);
  EXPECT_EQ(test::modeOf(folder / "config"), 0700u);
  EXPECT_EQ(test::modeOf(folder / "config/app"), 0700u);
  EXPECT_EQ(test::modeOf(path), 0600u);
  EXPECT_EQ(readFile(path), "[g]\nq=7\n");
  EXPECT_EQ(folder.list("config/app"), (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));
  // The content reached the disk before the rename, and the rename after it.
  char real[PATH_MAX];
  ASSERT_NE(realpath((folder / "config/app").c_str(), real), nullptr);
  EXPECT_EQ(flushed, (std::vector<std::string>{temporaryPathFor(std::string(real) + "/settings.ini"), real}));

  writeFile(path, "# by hand\n[g]\nq=1\n# keep\nunknown=from a newer version\n\n[other]\nx=1\n");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(store(path, 2));
  ASSERT_TRUE(store(path, 2));  // nothing drifts when written again
  EXPECT_EQ(readFile(path), "# by hand\n\n[g]\nq=2\n# keep\nunknown=from a newer version\n\n[other]\nx=1\n");
  EXPECT_EQ(test::modeOf(path), 0640u);
  EXPECT_TRUE(log.empty()) << loggedText();
}

// What may be found where the settings file should be.
struct Found {
  const char* name;
  std::function<void(const TestFolder&)> plant;  // puts it at folder/settings.ini
  KeyFileState state;
  bool writable;       // an update replaces it
  bool keptAside;      // under settings.ini.broken-<time> first
  const char* holder;  // the file that then holds the new content
};

TEST_F(KeyFileStoreTest, HostileFilesAreNeitherTrustedNorLost) {
  const std::string garbage("\x89PNG\r\n\x1a\n\0\0\0binary", 17);
  const std::string oversize = "[g]\nq=1\n#" + std::string(KeyFileStore::kMaxFileSize, 'x');
  const Found cases[] = {
      {"binary", [&](const TestFolder& f) { writeFile(f / "settings.ini", garbage); }, KeyFileState::Unparsable,
       true, true, "settings.ini"},
      {"oversize", [&](const TestFolder& f) { writeFile(f / "settings.ini", oversize); }, KeyFileState::TooLarge,
       true, true, "settings.ini"},
      {"folder", [](const TestFolder& f) { mkdir((f / "settings.ini").c_str(), 0700); }, KeyFileState::NotAFile,
       false, false, ""},
      {"pipe", [](const TestFolder& f) { mkfifo((f / "settings.ini").c_str(), 0600); }, KeyFileState::NotAFile,
       false, false, ""},
      {"dangling link", [](const TestFolder& f) { symlink("nowhere/x", (f / "settings.ini").c_str()); },
       KeyFileState::Missing, true, false, "settings.ini"},
      {"link to the user's own copy",
       [](const TestFolder& f) {
         mkdir((f / "dotfiles").c_str(), 0700);
         writeFile(f / "dotfiles/settings.ini", "[g]\nq=1\n");
         symlink("dotfiles/settings.ini", (f / "settings.ini").c_str());
       },
       KeyFileState::Loaded, true, false, "dotfiles/settings.ini"},
      {"stale temporary of a killed writer",
       [](const TestFolder& f) { writeFile(f / "settings.ini.tmp", "[g]\nq=half writ"); }, KeyFileState::Missing,
       true, false, "settings.ini"},
  };
  for (const Found& c : cases) {
    SCOPED_TRACE(c.name);
    TestFolder here;
    const std::string path = here / "settings.ini";
    c.plant(here);
    const std::vector<std::string> planted = here.list();
    EXPECT_EQ(KeyFileStore(path).read().state, c.state);
    EXPECT_EQ(here.list(), planted);
    log.clear();
    const std::string before = c.keptAside ? readFile(path) : "";  // opening a pipe would block
    EXPECT_EQ(store(path, 2), c.writable);
    const std::vector<std::string> after = here.list();
    EXPECT_FALSE(exists(temporaryPathFor(path)));
    ASSERT_EQ(log.size(), c.writable && !c.keptAside ? 0u : 1u) << loggedText();
    if (!c.writable) {
      EXPECT_NE(log[0].find(path), std::string::npos) << log[0];
      EXPECT_EQ(after.size(), planted.size() + 1);  // only the lock file is new
      continue;
    }
    EXPECT_EQ(readFile(here / c.holder), "[g]\nq=2\n");
    if (c.keptAside) {
      ASSERT_EQ(after.size(), 3u);  // sorted: the file, its copy, the lock file
      EXPECT_EQ(after[1].rfind("settings.ini.broken-", 0), 0u) << after[1];
      EXPECT_TRUE(readFile(here / after[1]) == before);
      EXPECT_NE(log[0].find(after[1]), std::string::npos) << log[0];
    }
  }
}

TEST_F(KeyFileStoreTest, TheSizeLimitHoldsForReadsAndWrites) {
  const std::string path = folder / "settings.ini";
  std::string full = "[g]\nq=1\n#";
  full += std::string(KeyFileStore::kMaxFileSize - full.size(), 'y');
  writeFile(path, full);
  EXPECT_EQ(KeyFileStore(path).read().file.integer("g", "q"), 1);
  EXPECT_FALSE(KeyFileStore(path).update([](KeyFile& f) {
    f.setString("g", "more", std::string(100, 'z'));
    return true;
  }));
  EXPECT_EQ(readFile(path), full);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(KeyFileStoreTest, AFailingDiskLeavesThePreviousFile) {
  const std::string path = folder / "settings.ini";
  const std::string before = "[g]\nq=1\nother=keep\n";
  struct rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  const rlim_t unlimited = limit.rlim_cur;
  signal(SIGXFSZ, SIG_IGN);
  // A full disk fails the write; a failing one reports at the flush.
  for (const char* reason : {"File too large", "Input/output error"}) {
    SCOPED_TRACE(reason);
    writeFile(path, before);
    log.clear();
    const bool full = reason[0] == 'F';
    limit.rlim_cur = full ? 8 : unlimited;
    setrlimit(RLIMIT_FSIZE, &limit);
    failFlushWith = full ? 0 : EIO;
    const bool written = store(path, 2);
    failFlushWith = 0;
    limit.rlim_cur = unlimited;
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(path), before);
    EXPECT_FALSE(exists(temporaryPathFor(path)));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find(reason), std::string::npos) << log[0];
  }
  signal(SIGXFSZ, SIG_DFL);
}

TEST_F(KeyFileStoreTest, WhatTheUserMayNotTouchIsRefusedAndKept) {
  // In a child process as an unprivileged user: permissions bind root too little.
  const std::string path = folder / "settings.ini";
  const std::string before = "[g]\nq=1\nother=keep\n";
  writeFile(path, before);
  writeFile(path + ".lock", "");
  writeFile(folder / "in-the-way", "");
  const struct {
    const char* name;
    std::string path;
    const char* target;  // made read-only (0500) or unreadable (0200)
    mode_t mode;
    KeyFileState state;
    const char* reason;
  } cases[] = {
      {"read-only folder", path, "", 0500, KeyFileState::Loaded, "Permission denied"},
      {"unreadable file", path, "settings.ini", 0200, KeyFileState::Unreadable, "Permission denied"},
      {"a file where a folder goes", folder / "in-the-way/settings.ini", "", 0700, KeyFileState::Missing,
       "Not a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(test::runAsUnprivilegedUser(folder.path(), [&] {
      log.clear();
      const std::string target = folder / c.target;
      chmod(target.c_str(), c.mode);
      const bool readAsExpected = KeyFileStore(c.path).read().state == c.state;
      const bool refused = !store(c.path, 2);
      chmod(target.c_str(), 0700);
      return readAsExpected && refused && log.size() == 1 && log[0].find(c.reason) != std::string::npos;
    }));
    EXPECT_EQ(readFile(path), before);
  }
}

}  // namespace
}  // namespace moonwisp
