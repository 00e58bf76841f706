#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/socket.h"

namespace tandrel::platform {
namespace {

bool ResolveIpv4(const std::string& host, in_addr& address) {
  if (inet_pton(AF_INET, host.c_str(), &address) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

}  // namespace

bool StartNetwork() { return true; }

TcpConnection TcpConnection::Connect(const std::string& host, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  if (!ResolveIpv4(host, peer.sin_addr)) return TcpConnection();
  const int s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s < 0) return TcpConnection();
  TcpConnection connection(s);
  if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    return TcpConnection();
  }
  return connection;
}

std::ptrdiff_t TcpConnection::Send(const char* data, std::size_t size) {
  if (!IsOpen()) return -1;
  // A peer that has gone away must give an error here, not end the process by SIGPIPE.
  return send(static_cast<int>(socket_.get()), data, size, MSG_NOSIGNAL);
}

std::ptrdiff_t TcpConnection::PendingBytes() {
  if (!IsOpen()) return -1;
  int pending = 0;
  if (ioctl(static_cast<int>(socket_.get()), FIONREAD, &pending) != 0) return -1;
  return pending;
}

std::ptrdiff_t TcpConnection::Receive(char* data, std::size_t size) {
  if (!IsOpen()) return -1;
  return recv(static_cast<int>(socket_.get()), data, size, 0);
}

void TcpConnection::CloseSocket(std::intptr_t socket) { close(static_cast<int>(socket)); }

}  // namespace tandrel::platform
