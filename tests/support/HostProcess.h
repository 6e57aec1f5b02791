#pragma once
// A program of the Linux machine the tests run on: the FTP test servers, pdftotext, chown. The Windows
// build of the tests runs under Wine and starts them through tests/wine/host.py, a Linux process that
// starts each program on request and hands its output back over a loopback socket (its port in
// OSTRAFTP_HOST_PORT); the Linux build starts them itself.

#include <filesystem>
#include <string>
#include <vector>

class HostProcess {
 public:
  // Starts argv (argv[0] an absolute Linux path) with its standard output readable here.
  explicit HostProcess(const std::vector<std::string>& argv);
  // Stops the program (SIGTERM) and waits for it.
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // The next line of its output, without the line end; "" at its end.
  std::string readLine();
  // All the rest of its output, until it ends.
  std::string readAll();

 private:
  bool readSome(std::string& into);
  std::string pending_;
#ifdef _WIN32
  unsigned long long socket_ = ~0ull;
#else
  int pid_ = -1;
  int out_ = -1;
#endif
};

// Runs a program to its end and returns its output.
std::string hostRun(const std::vector<std::string>& argv);

// The Linux path of a local path (the same path on Linux; Wine's mapping of drives under Wine).
std::string hostPath(const std::filesystem::path& local);

// Sets a variable of the environment the Linux programs started from now on get (on Linux the test's own
// environment, which they inherit).
void setHostEnvironment(const std::string& name, const std::string& value);

// A loopback port on which nothing listens.
int unusedLoopbackPort();

// Whether the Linux side runs as root (real FTP servers then run as a user of their own).
bool hostIsRoot();
