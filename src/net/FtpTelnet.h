#pragma once
// Byte 0xFF ("я" in Windows-1251) on the FTP control connection.
//
// The control connection is a Telnet stream, where 0xFF is the escape byte IAC. Servers differ: some read
// it so in commands (ProFTPD: IAC IAC is one 0xFF, IAC before some bytes drops them or waits for an
// option that never comes), others take it raw (vsftpd, Pure-FTPd); some double it in their replies
// (vsftpd), others send it raw. The session learns both per server from the server's own answers and
// sends names so that each arrives exactly, and reads paths so that each comes back exactly.

#include <optional>
#include <string>
#include <vector>

namespace ftp {

enum class CommandBytes { Unknown, Raw, TelnetIac };  // how the server reads 0xFF in commands
enum class ReplyBytes { Unknown, Raw, Doubled };      // how the server writes 0xFF in replies

struct ByteRules {
  CommandBytes commands = CommandBytes::Unknown;
  ReplyBytes replies = ReplyBytes::Unknown;
};

// A text as it must be sent: every 0xFF doubled for a server that reads Telnet, as it is otherwise.
[[nodiscard]] std::string commandText(const std::string& text, CommandBytes rule);
// Every pair of 0xFF made one.
[[nodiscard]] std::string undoubleFf(const std::string& text);
// Every 0xFF made two.
[[nodiscard]] std::string doubleFf(const std::string& text);
// True when some run of 0xFF bytes has an odd length: such a text was not doubled by the server.
[[nodiscard]] bool hasOddFfRun(const std::string& text);

// The probe: a CWD to a path that does not exist, sent raw. Its 0xFF pair reaches a Telnet-reading
// server as one byte, and the lone 0xFF before "-" passes every server unchanged; a server that names
// the path in its refusal then shows both rules at once.
inline constexpr char kProbePath[] = "/ostraftp-probe\xff\xff.\xff-";
// The rules read from the reply lines to the probe; Unknown where the reply does not name the path
// (a server that does not echo gives no sign of reading Telnet: its commands are taken as raw).
[[nodiscard]] ByteRules readProbeReply(const std::vector<std::string>& lines);

// The path of a 257 reply ("257 \"/a\"\"b\" is current"): quotes inside are doubled.
[[nodiscard]] std::optional<std::string> parsePathReply(const std::string& line);

}  // namespace ftp
