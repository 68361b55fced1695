#include "loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace moonwisp::test {
namespace {

constexpr int kLifetimeMs = 180000;  // no connection is kept open longer than this

int bindLoopback(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd >= 0 && (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
                  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)) {
    close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

void sendAll(int fd, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client went away, as it may for a large body
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
  listener_ = bindLoopback(&port_);
  if (pipe2(stopPipe_, O_CLOEXEC) != 0 || listener_ < 0 || listen(listener_, 16) != 0) return;
  acceptor_ = std::thread([this] {
    while (waitReadable(listener_, kLifetimeMs)) {
      const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection >= 0) connections_.emplace_back([this, connection] { serve(connection); });
    }
  });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  if (stopPipe_[1] >= 0) (void)!write(stopPipe_[1], "s", 1);
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& t : connections_) t.join();
  for (int fd : {listener_, stopPipe_[0], stopPipe_[1]})
    if (fd >= 0) close(fd);
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
  for (const auto& r : requests_) count += r.rfind("GET " + path + " ", 0) == 0;
  return count;
}

// Waits for fd or the stop pipe; true when fd is readable and stop is not set.
bool LoopbackHttpServer::waitReadable(int fd, int timeoutMs) const {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
  return poll(fds, 2, timeoutMs) > 0 && !(fds[1].revents & POLLIN) &&
         (fds[0].revents & (POLLIN | POLLHUP | POLLERR));
}

void LoopbackHttpServer::serve(int connection) {
  std::string head;
  char buf[4096];
  ssize_t n = 1;
  while (head.find("\r\n\r\n") == std::string::npos && n > 0 && waitReadable(connection, kLifetimeMs))
    if ((n = recv(connection, buf, sizeof buf, 0)) > 0) head.append(buf, static_cast<size_t>(n));
  const size_t end = head.find("\r\n\r\n");
  if (end == std::string::npos) return (void)close(connection);
  head.resize(end);
  const size_t start = head.find(' ') + 1;
  Response response{404, "not found", {}, true, false};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(head);
    const auto found = routes_.find(head.substr(start, head.find(' ', start) - start));
    if (found != routes_.end()) response = found->second;
  }
  // A silent server holds the connection open without a byte until the client gives up.
  while (response.neverAnswer && waitReadable(connection, kLifetimeMs) && recv(connection, buf, sizeof buf, 0) > 0)
    continue;
  if (!response.neverAnswer) {
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " Status\r\n";
    out += "Content-Type: application/xml\r\nConnection: close\r\n";
    if (response.sendContentLength) out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    for (const auto& h : response.headers) out += h + "\r\n";
    sendAll(connection, out + "\r\n" + response.body);
    shutdown(connection, SHUT_WR);
  }
  close(connection);
}

int unusedLoopbackPort() {
  int port = 0;
  const int fd = bindLoopback(&port);
  if (fd >= 0) close(fd);  // bound but never listening, then released
  return port;
}

}  // namespace moonwisp::test
