#pragma once
// A private temporary folder for one test, removed with everything in it, and
// small file helpers.
#include <grp.h>
#include <sys/wait.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace moonwisp::test {

// A mkdtemp/mkstemp pattern for a temporary file or folder named after what
// it is for, in $TMPDIR (the test script gives each run its own) or /tmp.
inline std::string temporaryPattern(const std::string& name) {
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder && *folder ? folder : "/tmp") + "/" + name + "-XXXXXX";
}

// Runs body as an unprivileged user (nobody, 65534), so that file
// permissions bind it even when the tests run as root: in a child process
// that owns the folder and everything in it. Without root, body runs here.
// True when body returned true.
inline bool runAsUnprivilegedUser(const std::string& folder, const std::function<bool()>& body) {
  if (geteuid() != 0) return body();
  constexpr uid_t kNobody = 65534;
  nftw(folder.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return lchown(p, kNobody, kNobody); },
       16, FTW_PHYS);
  const pid_t child = fork();
  if (child == 0) {
    const bool dropped = setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
    _exit(dropped && body() ? 0 : 1);
  }
  int status = 0;
  const bool ok = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  nftw(folder.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return lchown(p, 0, 0); }, 16,
       FTW_PHYS);
  return ok;
}

class TestFolder {
 public:
  TestFolder() : path_(temporaryPattern("moonwisp-test")) {
    if (!mkdtemp(path_.data())) path_.clear();
  }
  ~TestFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Names in the folder, sorted.
  std::vector<std::string> list(const std::string& sub = "") const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path_ + "/" + sub, ignored))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

inline mode_t modeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

}  // namespace moonwisp::test
