#include "net/FtpTls.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace ftp {

namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t rotr(uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

void compress(std::array<uint32_t, 8>& h, const unsigned char* block) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 | uint32_t(block[4 * i + 2]) << 8 |
           block[4 * i + 3];
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t t1 =
        k + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    k = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const uint32_t v[8] = {a, b, c, d, e, f, g, k};
  for (int i = 0; i < 8; ++i) h[i] += v[i];
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// One DER element: its tag, where its contents start and how long they are.
struct Element {
  unsigned char tag = 0;
  size_t start = 0, length = 0;
  [[nodiscard]] size_t end() const { return start + length; }
};

std::optional<Element> element(std::string_view der, size_t at) {
  if (at + 2 > der.size()) return std::nullopt;
  Element e;
  e.tag = static_cast<unsigned char>(der[at]);
  size_t length = static_cast<unsigned char>(der[at + 1]);
  size_t pos = at + 2;
  if (length & 0x80) {
    const size_t bytes = length & 0x7f;
    if (bytes == 0 || bytes > 4 || pos + bytes > der.size()) return std::nullopt;
    length = 0;
    for (size_t i = 0; i < bytes; ++i) length = length << 8 | static_cast<unsigned char>(der[pos++]);
  }
  if (length > der.size() - pos) return std::nullopt;
  e.start = pos;
  e.length = length;
  return e;
}

// The whole SubjectPublicKeyInfo element of a certificate: Certificate → tbsCertificate → the seventh
// field, or the sixth when the optional version [0] is absent.
std::optional<std::string_view> publicKeyInfo(std::string_view der) {
  const auto cert = element(der, 0);
  if (!cert || cert->tag != 0x30) return std::nullopt;
  const auto tbs = element(der, cert->start);
  if (!tbs || tbs->tag != 0x30 || tbs->end() > cert->end()) return std::nullopt;
  size_t at = tbs->start;
  auto field = element(der, at);
  if (field && field->tag == 0xa0) {
    at = field->end();
    field = element(der, at);
  }
  for (int skip = 0; skip < 5 && field; ++skip) {  // serial, signature, issuer, validity, subject
    at = field->end();
    field = element(der, at);
  }
  if (!field || field->tag != 0x30 || field->end() > tbs->end()) return std::nullopt;
  return der.substr(at, field->end() - at);
}

}  // namespace

TlsFailure tlsFailure(int curlCode, std::string_view libraryText) {
  std::string text(libraryText);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  const auto says = [&text](std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(),
                       [&text](const char* w) { return text.find(w) != text.npos; });
  };
  switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OK:
      return TlsFailure::None;
    case CURLE_USE_SSL_FAILED:
      return TlsFailure::NotOffered;
    case CURLE_SSL_CIPHER:
      return TlsFailure::NoCommonGround;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
      return TlsFailure::Certificate;
    case CURLE_SSL_CONNECT_ERROR:
      break;
    default:
      return TlsFailure::None;  // not a failure of TLS
  }
  // OpenSSL's words for the alerts and errors of a handshake.
  if (says({"certificate", "unknown ca", "access denied"})) return TlsFailure::Certificate;
  if (says({"handshake failure", "protocol version", "no shared cipher", "no cipher", "unsupported protocol",
            "no protocols available", "insufficient security", "wrong version number", "no suitable"}))
    return TlsFailure::NoCommonGround;
  if (says({"syscall", "unexpected eof", "reset by peer", "connection reset", "broken pipe",
            "connection closed", "connection was reset"}))
    return TlsFailure::Cut;
  return TlsFailure::Other;
}

bool tlsAvailable() {
  return (curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_SSL) != 0;
}

std::string sha256(std::string_view bytes) {
  std::array<uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string tail(bytes.substr(bytes.size() / 64 * 64));
  for (size_t i = 0; i + 64 <= bytes.size(); i += 64)
    compress(h, reinterpret_cast<const unsigned char*>(bytes.data() + i));
  const uint64_t bits = uint64_t(bytes.size()) * 8;
  tail += '\x80';
  while (tail.size() % 64 != 56) tail += '\0';
  for (int i = 7; i >= 0; --i) tail += static_cast<char>(bits >> (8 * i));
  for (size_t i = 0; i < tail.size(); i += 64)
    compress(h, reinterpret_cast<const unsigned char*>(tail.data() + i));
  std::string out;
  for (const uint32_t v : h)
    for (int i = 3; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
  return out;
}

std::string base64(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += i + 1 < bytes.size() ? kAlphabet[v >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::optional<std::string> unbase64(std::string_view text) {
  std::string out;
  uint32_t v = 0;
  int bits = 0;
  bool padded = false;
  for (const char c : text) {
    if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
    if (c == '=') {
      padded = true;
      continue;
    }
    const char* at = std::char_traits<char>::find(kAlphabet, 64, c);
    if (!at || padded) return std::nullopt;
    v = v << 6 | static_cast<uint32_t>(at - kAlphabet);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>(v >> bits & 0xff);
    }
  }
  return out;
}

std::optional<ServerKey> serverKey(std::string_view certificate, std::string subject) {
  std::string der(certificate);
  const std::string_view begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
  const size_t b = certificate.find(begin);
  if (b != std::string_view::npos) {
    const size_t e = certificate.find(end, b);
    if (e == std::string_view::npos) return std::nullopt;
    const auto decoded = unbase64(certificate.substr(b + begin.size(), e - b - begin.size()));
    if (!decoded) return std::nullopt;
    der = *decoded;
  }
  const auto spki = publicKeyInfo(der);
  if (!spki) return std::nullopt;
  ServerKey key;
  key.pin = base64(sha256(*spki));
  const auto cert = element(der, 0);
  for (const char c : sha256(std::string_view(der).substr(0, cert->end()))) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
    if (!key.fingerprint.empty()) key.fingerprint += ':';
    key.fingerprint += hex;
  }
  key.subject = std::move(subject);
  return key;
}

}  // namespace ftp
