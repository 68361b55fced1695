#include "platform/keyfile/key_file_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>

#include <string>
#include <vector>

#include "platform/core/system_log.h"
#include "platform/keyfile/durable_file.h"
#include "support/files.h"

namespace moonwisp {
namespace {

using test::exists;
using test::modeOf;
using test::readFile;
using test::TestFolder;
using test::writeFile;

bool setQ(KeyFile& file, int64_t value) {
  file.setInteger("g", "q", value);
  return true;
}

class KeyFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setSystemLogSink([this](const std::string& line) { log.push_back(line); });
  }
  void TearDown() override { setSystemLogSink(nullptr); }

  bool store(const std::string& path, int64_t value) {
    return KeyFileStore(path).update([value](KeyFile& file) { return setQ(file, value); });
  }

  TestFolder folder;
  std::vector<std::string> log;
};

TEST_F(KeyFileStoreTest, ReadingCreatesNothing) {
  const std::string path = folder / "sub/dir/settings.ini";
  const KeyFileSnapshot snapshot = KeyFileStore(path).read();
  EXPECT_EQ(snapshot.state, KeyFileState::Missing);
  EXPECT_EQ(snapshot.file.serialize(), "");
  EXPECT_TRUE(folder.list().empty());

  writeFile(folder / "settings.ini", "[g]\nq=5\n");
  const mode_t before = modeOf(folder / "settings.ini");
  EXPECT_EQ(KeyFileStore(folder / "settings.ini").read().file.integer("g", "q"), 5);
  EXPECT_EQ(folder.list(), std::vector<std::string>{"settings.ini"});
  EXPECT_EQ(modeOf(folder / "settings.ini"), before);
  EXPECT_TRUE(log.empty());
}

TEST_F(KeyFileStoreTest, FirstWriteCreatesAPrivateFolderAndFile) {
  const std::string path = folder / "config/app/settings.ini";
  const mode_t oldMask = umask(022);
  ASSERT_TRUE(store(path, 7));
  umask(oldMask);
  EXPECT_EQ(modeOf(folder / "config"), 0700u);
  EXPECT_EQ(modeOf(folder / "config/app"), 0700u);
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(readFile(path), "[g]\nq=7\n");
  // Only the file and its lock file remain; no temporary file.
  EXPECT_EQ(folder.list("config/app"), (std::vector<std::string>{"settings.ini", "settings.ini.lock"}));
  EXPECT_TRUE(log.empty());
}

TEST_F(KeyFileStoreTest, AWriteKeepsEverythingElseAndTheFileMode) {
  const std::string path = folder / "settings.ini";
  writeFile(path, "# written by hand\n[g]\nq=1\n# keep\nunknown=from a newer version\n\n[other]\nx=1\n");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(store(path, 2));
  // GLib sets the opening comment apart with a blank line; nothing else moves.
  const std::string expected =
      "# written by hand\n\n[g]\nq=2\n# keep\nunknown=from a newer version\n\n[other]\nx=1\n";
  EXPECT_EQ(readFile(path), expected);
  EXPECT_EQ(modeOf(path), 0640u);
  // Writing again does not let the file drift.
  ASSERT_TRUE(store(path, 2));
  EXPECT_EQ(readFile(path), expected);
}

TEST_F(KeyFileStoreTest, AnEditThatChangesNothingWritesNothing) {
  const std::string path = folder / "settings.ini";
  EXPECT_TRUE(KeyFileStore(path).update([](KeyFile&) { return false; }));
  EXPECT_FALSE(exists(path));
}

TEST_F(KeyFileStoreTest, AnUnparsableFileIsKeptAsideBeforeItIsReplaced) {
  const std::string path = folder / "settings.ini";
  const std::string garbage("\x89PNG\r\n\x1a\n\0\0\0binary", 17);
  writeFile(path, garbage);
  const KeyFileSnapshot snapshot = KeyFileStore(path).read();
  EXPECT_EQ(snapshot.state, KeyFileState::Unparsable);
  EXPECT_EQ(snapshot.file.serialize(), "");

  ASSERT_TRUE(store(path, 3));
  EXPECT_EQ(readFile(path), "[g]\nq=3\n");
  std::vector<std::string> names = folder.list();
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0], "settings.ini");
  EXPECT_EQ(names[1].rfind("settings.ini.broken-", 0), 0u) << names[1];
  EXPECT_EQ(readFile(folder / names[1]), garbage);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(names[1]), std::string::npos) << log[0];

  // A second broken file in the same second gets a name of its own.
  writeFile(path, "not a key file");
  ASSERT_TRUE(store(path, 4));
  names = folder.list();
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(readFile(path), "[g]\nq=4\n");
}

TEST_F(KeyFileStoreTest, FilesOverTheSizeLimitAreNotReadAndAreKeptAside) {
  const std::string path = folder / "settings.ini";
  std::string big = "[g]\nq=1\n# " + std::string(KeyFileStore::kMaxFileSize, 'x') + "\n";
  writeFile(path, big);
  const KeyFileSnapshot snapshot = KeyFileStore(path).read();
  EXPECT_EQ(snapshot.state, KeyFileState::TooLarge);
  EXPECT_FALSE(snapshot.file.hasKey("g", "q"));

  ASSERT_TRUE(store(path, 2));
  EXPECT_EQ(readFile(path), "[g]\nq=2\n");
  EXPECT_EQ(folder.list().size(), 3u);

  // A file at the limit is read.
  big = "[g]\nq=1\n#";
  big += std::string(KeyFileStore::kMaxFileSize - big.size(), 'y');
  writeFile(path, big);
  EXPECT_EQ(KeyFileStore(path).read().file.integer("g", "q"), 1);
  // A write that would take it over the limit is refused and changes nothing.
  EXPECT_FALSE(KeyFileStore(path).update([](KeyFile& f) {
    f.setString("g", "more", std::string(100, 'z'));
    return true;
  }));
  EXPECT_EQ(readFile(path), big);
}

TEST_F(KeyFileStoreTest, AFolderInThePlaceOfTheFileIsNeitherReadNorReplaced) {
  const std::string path = folder / "settings.ini";
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  writeFile(path + "/inside", "keep");
  EXPECT_EQ(KeyFileStore(path).read().state, KeyFileState::NotAFile);
  EXPECT_FALSE(store(path, 1));
  EXPECT_EQ(readFile(path + "/inside"), "keep");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(path), std::string::npos);
  EXPECT_NE(log[0].find("folder"), std::string::npos);
}

TEST_F(KeyFileStoreTest, APipeInThePlaceOfTheFileDoesNotBlockTheReader) {
  const std::string path = folder / "settings.ini";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(KeyFileStore(path).read().state, KeyFileState::NotAFile);
  EXPECT_FALSE(store(path, 1));
}

TEST_F(KeyFileStoreTest, ADanglingLinkReadsAsMissingAndIsReplacedByAFile) {
  const std::string path = folder / "settings.ini";
  ASSERT_EQ(symlink((folder / "nowhere/settings.ini").c_str(), path.c_str()), 0);
  EXPECT_EQ(KeyFileStore(path).read().state, KeyFileState::Missing);
  ASSERT_TRUE(store(path, 5));
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(readFile(path), "[g]\nq=5\n");
}

TEST_F(KeyFileStoreTest, ALinkToAFileElsewhereIsWrittenThrough) {
  ASSERT_EQ(mkdir((folder / "dotfiles").c_str(), 0700), 0);
  writeFile(folder / "dotfiles/settings.ini", "[g]\nq=1\n");
  const std::string path = folder / "settings.ini";
  ASSERT_EQ(symlink("dotfiles/settings.ini", path.c_str()), 0);
  ASSERT_TRUE(store(path, 6));
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(readFile(folder / "dotfiles/settings.ini"), "[g]\nq=6\n");
}

TEST_F(KeyFileStoreTest, AStaleTemporaryFileOfAKilledWriterIsReplaced) {
  const std::string path = folder / "settings.ini";
  writeFile(path, "[g]\nq=1\n");
  writeFile(temporaryPathFor(path), "[g]\nq=half writ");
  ASSERT_TRUE(store(path, 2));
  EXPECT_EQ(readFile(path), "[g]\nq=2\n");
  EXPECT_FALSE(exists(temporaryPathFor(path)));
}

TEST_F(KeyFileStoreTest, AFolderThatCannotBeCreatedFailsWithOneLogLine) {
  writeFile(folder / "file", "in the way");
  const std::string path = folder / "file/settings.ini";
  EXPECT_EQ(KeyFileStore(path).read().state, KeyFileState::Missing);
  EXPECT_FALSE(store(path, 1));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(path), std::string::npos) << log[0];
  EXPECT_NE(log[0].find("Not a directory"), std::string::npos) << log[0];
}

TEST_F(KeyFileStoreTest, AWriteThatRunsOutOfSpaceLeavesThePreviousFile) {
  const std::string path = folder / "settings.ini";
  const std::string before = "[g]\nq=1\nother=keep\n";
  writeFile(path, before);
  // A file size limit makes every write past a few bytes fail as a full disk would.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {8, 8};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<std::string> lines;
    setSystemLogSink([&lines](const std::string& line) { lines.push_back(line); });
    const bool written = store(path, 2);
    const bool loggedOnce = lines.size() == 1 && lines[0].find(path) != std::string::npos &&
                            lines[0].find("File too large") != std::string::npos;
    _exit(!written && loggedOnce ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(path), before);
  EXPECT_FALSE(exists(temporaryPathFor(path)));
}

TEST_F(KeyFileStoreTest, AReadOnlyFolderFailsAndKeepsTheFile) {
  const std::string path = folder / "settings.ini";
  writeFile(path, "[g]\nq=1\n");
  EXPECT_TRUE(test::runAsUnprivilegedUser(folder.path(), [&] {
    if (!store(path, 2)) return false;  // the lock file exists from now on
    chmod(folder.path().c_str(), 0500);
    const bool refused = !store(path, 3);
    chmod(folder.path().c_str(), 0700);
    return refused && readFile(path) == "[g]\nq=2\n" && log.size() == 1;
  }));
}

TEST_F(KeyFileStoreTest, AFileThatCannotBeReadIsNotOverwritten) {
  const std::string path = folder / "settings.ini";
  writeFile(path, "[g]\nq=1\nother=keep\n");
  EXPECT_TRUE(test::runAsUnprivilegedUser(folder.path(), [&] {
    chmod(path.c_str(), 0200);
    const bool unreadable = KeyFileStore(path).read().state == KeyFileState::Unreadable;
    // Its other keys could not be carried over, so it must not be replaced.
    const bool refused = !store(path, 2);
    chmod(path.c_str(), 0600);
    return unreadable && refused && readFile(path) == "[g]\nq=1\nother=keep\n" && log.size() == 1 &&
           log[0].find("Permission denied") != std::string::npos;
  }));
}

}  // namespace
}  // namespace moonwisp
