#include "loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace moonwisp::test {
namespace {

constexpr int kLifetimeMs = 180000;  // the server ends itself after this long

int bindLoopback(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

void sendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client went away, as it may for a large body
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
  if (pipe2(stopPipe_, O_CLOEXEC) != 0) return;
  listener_ = bindLoopback(&port_);
  if (listener_ < 0 || listen(listener_, 16) != 0) return;
  acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  if (stopPipe_[1] >= 0) {
    const char stop = 's';
    (void)!write(stopPipe_[1], &stop, 1);
  }
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& t : connections_) t.join();
  if (listener_ >= 0) close(listener_);
  for (int fd : stopPipe_) {
    if (fd >= 0) close(fd);
  }
}

void LoopbackHttpServer::route(const std::string& path, Response response) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(response);
}

std::string LoopbackHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int LoopbackHttpServer::requestCount(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int count = 0;
  for (const auto& r : requests_) {
    if (r.rfind("GET " + path + " ", 0) == 0) ++count;
  }
  return count;
}

// Waits for fd or the stop pipe; true when fd is readable and stop is not set.
bool LoopbackHttpServer::waitReadable(int fd, int timeoutMs) const {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
  const int n = poll(fds, 2, timeoutMs);
  return n > 0 && !(fds[1].revents & POLLIN) && (fds[0].revents & (POLLIN | POLLHUP | POLLERR));
}

void LoopbackHttpServer::acceptLoop() {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLifetimeMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !waitReadable(listener_, static_cast<int>(left.count()))) return;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    connections_.emplace_back([this, connection] { serve(connection); });
  }
}

void LoopbackHttpServer::serve(int connection) {
  std::string head;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    if (!waitReadable(connection, kLifetimeMs)) {
      close(connection);
      return;
    }
    const ssize_t n = recv(connection, buf, sizeof buf, 0);
    if (n <= 0) {
      close(connection);
      return;
    }
    head.append(buf, static_cast<size_t>(n));
  }
  head.resize(head.find("\r\n\r\n"));
  std::string path;
  const size_t sp1 = head.find(' ');
  const size_t sp2 = head.find(' ', sp1 + 1);
  if (sp1 != std::string::npos && sp2 != std::string::npos) path = head.substr(sp1 + 1, sp2 - sp1 - 1);

  Response response;
  response.status = 404;
  response.body = "not found";
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(head);
    const auto found = routes_.find(path);
    if (found != routes_.end()) response = found->second;
  }
  if (response.neverAnswer) {
    // Hold the connection open without a byte until the client gives up.
    while (waitReadable(connection, kLifetimeMs) && recv(connection, buf, sizeof buf, 0) > 0) {
    }
    close(connection);
    return;
  }
  std::string out = "HTTP/1.1 " + std::to_string(response.status) + " Status\r\n";
  out += "Content-Type: application/xml\r\nConnection: close\r\n";
  if (response.sendContentLength) out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  for (const auto& h : response.headers) out += h + "\r\n";
  out += "\r\n";
  sendAll(connection, out);
  sendAll(connection, response.body);
  shutdown(connection, SHUT_WR);
  close(connection);
}

int unusedLoopbackPort() {
  int port = 0;
  const int fd = bindLoopback(&port);
  if (fd >= 0) close(fd);  // bound but never listening, then released
  return port;
}

}  // namespace moonwisp::test
