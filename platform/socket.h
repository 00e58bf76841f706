// A TCP client connection, as the updater's HTTP client needs it: connect by host name or
// dotted address, send, ask how many bytes wait, receive, close. Windows Sockets 1.1 on
// Windows, BSD sockets elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace tandrel::platform {

// Starts the network layer (Windows Sockets 1.1); always true where there is nothing to
// start. Called once before the first connection.
bool StartNetwork();

// Move-only owner of one connected socket; destroying it closes the connection.
class TcpConnection {
 public:
  TcpConnection() = default;
  ~TcpConnection();
  TcpConnection(TcpConnection&& other) noexcept;
  TcpConnection& operator=(TcpConnection&& other) noexcept;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Connects to `host` (a dotted IPv4 address, or a name whose first IPv4 address is
  // used). Blocks with the system's own connect time-out. Check IsOpen() afterwards.
  static TcpConnection Connect(const std::string& host, std::uint16_t port);

  bool IsOpen() const;
  // Bytes handed to the system, or -1 on a socket error.
  std::ptrdiff_t Send(const char* data, std::size_t size);
  // Bytes that a receive would return at once; 0 when none (also once the peer has
  // closed), -1 on a socket error.
  std::ptrdiff_t PendingBytes();
  // Bytes received, 0 when the peer has closed, -1 on a socket error.
  std::ptrdiff_t Receive(char* data, std::size_t size);
  void Close();

 private:
  explicit TcpConnection(std::intptr_t socket) : socket_(socket) {}
  static constexpr std::intptr_t kNoSocket = -1;
  std::intptr_t socket_ = kNoSocket;
};

// Once for both systems: only Close is the system's own.
inline TcpConnection::~TcpConnection() { Close(); }

inline TcpConnection::TcpConnection(TcpConnection&& other) noexcept
    : socket_(std::exchange(other.socket_, kNoSocket)) {}

inline TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
  if (this != &other) {
    Close();
    socket_ = std::exchange(other.socket_, kNoSocket);
  }
  return *this;
}


}  // namespace tandrel::platform
