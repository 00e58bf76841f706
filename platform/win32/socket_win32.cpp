// Windows Sockets 1.1 only: inet_addr and gethostbyname for the address, ioctlsocket for
// the pending bytes.
#include <winsock2.h>

#include <climits>
#include <cstring>

#include "platform/socket.h"

namespace tandrel::platform {
namespace {

bool ResolveIpv4(const std::string& host, in_addr& address) {
  const unsigned long dotted = inet_addr(host.c_str());
  if (dotted != INADDR_NONE) {
    address.s_addr = dotted;
    return true;
  }
  const hostent* found = gethostbyname(host.c_str());
  if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr ||
      found->h_length != static_cast<short>(sizeof address)) {
    return false;
  }
  std::memcpy(&address, found->h_addr_list[0], sizeof address);
  return true;
}

int ClampedLength(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

bool StartNetwork() {
  WSADATA data;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

TcpConnection TcpConnection::Connect(const std::string& host, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  if (!ResolveIpv4(host, peer.sin_addr)) return TcpConnection();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return TcpConnection();
  TcpConnection connection(static_cast<std::intptr_t>(s));
  if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
    return TcpConnection();
  }
  return connection;
}

std::ptrdiff_t TcpConnection::Send(const char* data, std::size_t size) {
  if (!IsOpen()) return -1;
  const int sent = send(static_cast<SOCKET>(socket_.get()), data, ClampedLength(size), 0);
  return sent == SOCKET_ERROR ? -1 : sent;
}

std::ptrdiff_t TcpConnection::PendingBytes() {
  if (!IsOpen()) return -1;
  u_long pending = 0;
  if (ioctlsocket(static_cast<SOCKET>(socket_.get()), FIONREAD, &pending) == SOCKET_ERROR) return -1;
  return static_cast<std::ptrdiff_t>(pending);
}

std::ptrdiff_t TcpConnection::Receive(char* data, std::size_t size) {
  if (!IsOpen()) return -1;
  const int got = recv(static_cast<SOCKET>(socket_.get()), data, ClampedLength(size), 0);
  return got == SOCKET_ERROR ? -1 : got;
}

void TcpConnection::CloseSocket(std::intptr_t socket) { closesocket(static_cast<SOCKET>(socket)); }

}  // namespace tandrel::platform
