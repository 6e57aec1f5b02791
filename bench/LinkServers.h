#pragma once
// What the benchmarks behind the delayed link share: a station tree of reports on disk, and FTP servers
// over it in the link's server namespace.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// The middle value (the upper one of an even count); v must not be empty.
[[nodiscard]] double median(std::vector<double> v);

// Objects of these names below root, each with the lines v0017n1 and v0017n2, three reports of every
// kind per line (8000 bytes each), its alarm file and a gas file with a valid checksum.
void fillStation(const std::filesystem::path& root, const std::vector<std::string>& objects);

// A test server over root in the link's server namespace: pyftpdlib (kind empty), or a real server of
// that kind (behind its logging relay) with TLS required when cert names its PEM file; instance tells
// apart the state folders of several servers of one kind. Its port, 0 (with the reason printed) when it
// did not start; pid is its process.
[[nodiscard]] int startServer(const std::filesystem::path& root, const std::string& kind,
                              const std::string& cert, pid_t& pid, int instance = 0);
// Ends the servers and waits for them.
void stopServers(const std::vector<pid_t>& pids);
// The login a server of that kind takes: vsftpd run without root serves anonymous logins only.
[[nodiscard]] std::string serverUser(const std::string& kind);
