#pragma once
// A name lookup that stalls for real. A test runs itself again inside a
// private network and mount namespace (unshare; root), where /etc/hosts knows
// only localhost and the one name server, on the loopback interface, takes
// every query and answers none. The resolver is told to wait as long as it
// can, so the lookup outlasts any test.
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "files.h"
#include "process.h"

namespace moonwisp::test {

constexpr const char* kStalledLookupVariable = "MOONWISP_STALLED_LOOKUP";

// True in the run of the test inside the namespace.
inline bool insideStalledLookup() { return std::getenv(kStalledLookupVariable) != nullptr; }

inline bool canUnshare() {
  ChildProcess probe({"unshare", "--net", "--mount", "true"});
  return exitedWith(probe.waitFor(allowedMs(10000)), 0);
}

// Runs the current test of this program again inside the namespace.
inline ChildProcess startCurrentTestWithStalledLookup() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  return ChildProcess({"unshare", "--net", "--mount", "--", std::filesystem::read_symlink("/proc/self/exe"), filter},
                      {std::string(kStalledLookupVariable) + "=1"});
}

// Inside the namespace: makes every lookup of a name but localhost stall,
// with the files it needs in folder. False, with the reason, when a step fails.
inline bool stallNameLookups(const std::string& folder, std::string* error) {
  const auto fail = [error](const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    return false;
  };
  // Never over the namespaces of the process that started this one.
  for (const char* kind : {"mnt", "net"}) {
    const std::string ours = std::string("/proc/self/ns/") + kind;
    const std::string parents = "/proc/" + std::to_string(getppid()) + "/ns/" + kind;
    if (std::filesystem::read_symlink(ours) == std::filesystem::read_symlink(parents)) {
      errno = EPERM;
      return fail(std::string("not in a namespace of its own (") + kind + ")");
    }
  }
  // A new network namespace has only the loopback interface, and that down.
  const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strcpy(request.ifr_name, "lo");
  bool up = control >= 0 && ioctl(control, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags |= IFF_UP;
  up = up && ioctl(control, SIOCSIFFLAGS, &request) == 0;
  if (control >= 0) close(control);
  if (!up) return fail("bringing up the loopback interface");
  // The silent name server: open for the rest of the process, never read.
  static const int server = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(53);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (server < 0 || bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return fail("opening the name server's socket");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return fail("making the mounts private");
  const std::pair<const char*, const char*> files[] = {
      {"/etc/hosts", "127.0.0.1 localhost\n::1 localhost\n"},
      {"/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:30 attempts:5\n"},
      {"/etc/nsswitch.conf", "hosts: files dns\n"},  // no other source that could answer
  };
  for (const auto& [path, text] : files) {
    const std::string replacement = folder + "/" + std::filesystem::path(path).filename().string();
    writeFile(replacement, text);
    if (mount(replacement.c_str(), path, nullptr, MS_BIND, nullptr) != 0) return fail(std::string("covering ") + path);
  }
  return true;
}

}  // namespace moonwisp::test
