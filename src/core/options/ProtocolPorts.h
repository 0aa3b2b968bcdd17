#pragma once

#include <array>

namespace kestrava {

// The ten controlled protocols in the order of their controls, their Settings_Table columns and the
// ports that "Set Defaults" and checking a box put in. Port 0 means the protocol is not controlled.
struct ProtocolPort {
    const char* caption;
    const char* column;
    int defaultPort;
};

inline constexpr int kProtocolCount = 10;
inline constexpr int kMaxPort = 32767;

inline constexpr std::array<ProtocolPort, kProtocolCount> kProtocolPorts{{
    {"HTTP", "HTTP", 80},
    {"FTP", "FTP", 21},
    {"Telnet", "Telnet", 23},
    {"SMTP", "SMTP", 25},
    {"POP3", "POP3", 110},
    {"SOCKS", "Socks", 1080},
    {"NEWS", "News", 119},
    {"ICQ", "ICQ", 1027},
    {"IRC", "IRC", 194},
    {"Other", "OtherPort", 0},
}};

} // namespace kestrava
