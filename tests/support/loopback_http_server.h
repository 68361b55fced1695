#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the update-feed tests: canned
// responses by path, one thread per connection, stopped by its destructor.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace moonwisp::test {

class LoopbackHttpServer {
 public:
  struct Response {
    int status = 200;
    std::string body;
    std::vector<std::string> headers;  // extra header lines, e.g. "Location: ..."
    bool sendContentLength = true;     // false: the body ends when the connection closes
    bool neverAnswer = false;          // read the request, then say nothing
  };

  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  void route(const std::string& path, Response response);
  std::string url(const std::string& path) const;
  int port() const { return port_; }
  // Request heads received so far (request line and headers), in order.
  std::vector<std::string> requests() const;
  int requestCount(const std::string& path) const;

 private:
  void serve(int connection);
  bool waitReadable(int fd, int timeoutMs) const;

  int listener_ = -1;
  int stopPipe_[2] = {-1, -1};
  int port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, Response> routes_;
  std::vector<std::string> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

// A loopback port on which nothing listens (connections are refused).
int unusedLoopbackPort();

}  // namespace moonwisp::test
