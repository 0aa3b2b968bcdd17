#pragma once

#include <QAbstractSocket>

namespace kestrava {

// Socket failures carry the Windows Sockets numbers that the console reports and decides on.
namespace SocketErrors {

inline constexpr int kNetworkDown = 10050;
inline constexpr int kNetworkReset = 10052;
inline constexpr int kConnectionAborted = 10053;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kTimedOut = 10060;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kNoRecovery = 11003;
// A stored port that does not fit the 16-bit port number.
inline constexpr int kOverflow = 6;

int numberOf(QAbstractSocket::SocketError error);
// The same for an errno of a failed read or write on a connected socket.
int numberOfErrno(int error);
// Whether an error of this number ends the connection of its slot at once.
bool closesConnection(int number);

} // namespace SocketErrors

} // namespace kestrava
