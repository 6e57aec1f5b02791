#pragma once
// TLS on the FTP connections: the operator's choice per connection and what identifies a server's key.
//
// A server whose certificate the system's store does not vouch for is trusted only by its public key,
// pinned on the operator's word: the pin is the SHA-256 of the certificate's SubjectPublicKeyInfo (as
// libcurl's "sha256//" pins name it), so a certificate renewed over the same key stays trusted. What the
// operator is shown is the SHA-256 fingerprint of the whole certificate and its subject.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ftp {

// How a connection uses TLS: never, when the server offers it (plain FTP only when the server refuses
// AUTH TLS), or always (no login without it).
enum class TlsMode : uint8_t { None = 0, WhenOffered = 1, Required = 2 };

struct ServerKey {
  std::string pin;          // base64 SHA-256 of the public key
  std::string fingerprint;  // SHA-256 of the certificate, "AB:CD:..." (95 characters)
  std::string subject;      // as the TLS library names it
};

// Whether this build's libcurl speaks TLS at all.
[[nodiscard]] bool tlsAvailable();

// SHA-256 of bytes (32 raw bytes).
[[nodiscard]] std::string sha256(std::string_view bytes);
[[nodiscard]] std::string base64(std::string_view bytes);
// Decodes base64, skipping line breaks and blanks; nothing on any other byte.
[[nodiscard]] std::optional<std::string> unbase64(std::string_view text);
// The key of a certificate given in PEM (or DER); nothing when it cannot be read.
[[nodiscard]] std::optional<ServerKey> serverKey(std::string_view certificate, std::string subject);

}  // namespace ftp
