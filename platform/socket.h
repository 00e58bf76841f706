// A TCP client connection, as the updater's HTTP client needs it: connect by host name or
// dotted address, send, ask how many bytes wait, receive, close. Windows Sockets 1.1 on
// Windows, BSD sockets elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/owned.h"

namespace tandrel::platform {

// Starts the network layer (Windows Sockets 1.1); always true where there is nothing to
// start. Called once before the first connection.
bool StartNetwork();

// Move-only owner of one connected socket; destroying it closes the connection.
class TcpConnection {
 public:
  TcpConnection() = default;

  // Connects to `host` (a dotted IPv4 address, or a name whose first IPv4 address is
  // used). Blocks with the system's own connect time-out. Check IsOpen() afterwards.
  static TcpConnection Connect(const std::string& host, std::uint16_t port);

  bool IsOpen() const { return static_cast<bool>(socket_); }
  // Bytes handed to the system, or -1 on a socket error.
  std::ptrdiff_t Send(const char* data, std::size_t size);
  // Bytes that a receive would return at once; 0 when none (also once the peer has
  // closed), -1 on a socket error.
  std::ptrdiff_t PendingBytes();
  // Bytes received, 0 when the peer has closed, -1 on a socket error.
  std::ptrdiff_t Receive(char* data, std::size_t size);
  void Close() { socket_.Reset(); }

 private:
  // The system's own: closesocket on Windows, close elsewhere. -1 stands for no socket
  // on both (INVALID_SOCKET on Windows).
  static void CloseSocket(std::intptr_t socket);
  explicit TcpConnection(std::intptr_t socket) : socket_(socket) {}
  Owned<std::intptr_t, &TcpConnection::CloseSocket, std::intptr_t{-1}> socket_;
};

}  // namespace tandrel::platform
