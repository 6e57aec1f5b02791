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

// The TLS version a connection offers: 1.2 alone, since under TLS 1.3 libcurl 7.88 resumes no session
// after an upload; 1.3 alone for a server that speaks no 1.2 the program can use.
enum class TlsVersion : uint8_t { Tls12, Tls13 };

// Why a TLS connection could not be made, as the operator is told.
enum class TlsFailure : uint8_t {
  None,
  NotOffered,      // the server refused AUTH TLS
  PinnedRefused,   // the same, by a server whose key is pinned: nothing was sent in the clear
  NoCommonGround,  // no TLS version or cipher both sides speak
  Certificate,     // a certificate was refused (the server's by us, or ours by the server)
  Cut,             // the connection ended during the handshake
  Unavailable,     // this build's libcurl speaks no TLS
  Other,
};

// The reason of a failed request from libcurl's result and its error text; None when the failure is not
// one of TLS.
[[nodiscard]] TlsFailure tlsFailure(int curlCode, std::string_view libraryText);

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
