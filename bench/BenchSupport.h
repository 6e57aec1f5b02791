#pragma once
// What the benchmarks share: a window on a test server's station, and libcurl alone fetching a URL over
// one connection with its waits bounded as the FTP layer bounds them (so that this peer never loses a
// second to a late data connection either).

#include <curl/curl.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "app/Main.h"

// Opens the window's session to host:port and chooses object "A" (at "/A") and its line v0017n1.
inline bool openLineA(TFormMain& form, const std::string& host, int port, const std::string& user) {
  ConnectionRecord r;
  r.setName("bench");
  r.setHost(host);
  r.setPort(port);
  r.setUser(user);
  r.setPassword("secret");
  form.Settings.setRecord(0, r);
  form.Settings.setConnectionCount(1);
  if (!form.Ftp.FtpOpen()) return false;
  form.Browse.BaseDirectory = "/";
  form.Browse.ObjectName = "A";
  form.Browse.ObjectNameKnown = true;
  form.Browse.ObjectPath = "/A";
  form.StringGrid2->setCell(0, 0, "v0017n1");
  form.StringGrid2->selectRow(0);
  return true;
}

// One request of libcurl alone on handle c run by multi handle m; the body goes to body.
inline CURLcode bareFetch(CURL* c, CURLM* m, const std::string& url, const std::string& user,
                          std::string& body) {
  const auto collect = +[](char* data, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
  };
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, "secret");
  curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  curl_multi_add_handle(m, c);
  for (int running = 1; running;) {
    if (curl_multi_perform(m, &running) != CURLM_OK) break;
    if (running) curl_multi_poll(m, nullptr, 0, 1, nullptr);
  }
  CURLcode result = CURLE_COULDNT_CONNECT;
  int queued = 0;
  while (const CURLMsg* msg = curl_multi_info_read(m, &queued)) {
    if (msg->msg == CURLMSG_DONE) result = msg->data.result;
  }
  curl_multi_remove_handle(m, c);
  return result;
}

// A field of /proc/self/status in MB (Linux): "VmRSS:" now, "VmHWM:" the peak so far.
inline double statusMb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::string(field).size() + 1) / 1024.0;
  }
  return 0;
}
