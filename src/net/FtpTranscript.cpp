#include "net/FtpTranscript.h"

#include <curl/curl.h>

#include <cctype>

namespace ftp {

namespace {

bool isPass(std::string_view line) {
  constexpr std::string_view kPass = "PASS";
  if (line.size() < kPass.size()) return false;
  for (size_t i = 0; i < kPass.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(line[i])) != kPass[i]) return false;
  return true;
}

// libcurl's verbose output: FTP commands come as outgoing headers, reply lines as incoming ones, its
// notes as text; one call may carry several lines.
int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  Wire kind = Wire::Note;
  if (type == CURLINFO_HEADER_OUT)
    kind = Wire::Sent;
  else if (type == CURLINFO_HEADER_IN)
    kind = Wire::Received;
  else if (type != CURLINFO_TEXT)
    return 0;  // the bytes of data and of TLS records
  const auto& t = *static_cast<const Transcript*>(user);
  std::string_view text(data, size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.empty()) continue;
    if (kind == Wire::Sent && isPass(line)) line = "PASS ****";
    t.hand(kind, line);
  }
  return 0;
}

}  // namespace

void tapTranscript(void* curl, const Transcript& t) {
  if (!t.sink || !*t.sink) return;
  curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, onDebug);
  curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &t);
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
}

}  // namespace ftp
