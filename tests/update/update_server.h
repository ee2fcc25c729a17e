// Stand-ins for the update server: lighttpd serving plain files, whose
// requests are read back from its access log, and a port that never answers;
// and a throw-away key pair that signs packages as the maker's key does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/webserver.h"

// lighttpd on 127.0.0.1 and a free port, serving workDir/doc. A path with a
// query string is answered from the file of that path.
class UpdateServer {
 public:
  explicit UpdateServer(const std::string& workDir);

  std::string url() const;
  void put(const std::string& name, const std::string& content) const;
  void remove(const std::string& name) const;

  // Request lines ("GET /x?y HTTP/1.1") received so far. A request of its own
  // goes first, and once the log shows it every earlier request is in; that
  // request is left out.
  std::vector<std::string> requests();

 private:
  std::string m_workDir;
  std::unique_ptr<WebServer> m_server;
  int m_probes = 0;
};

// A port on 127.0.0.1 that takes connections into its backlog and never answers.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  std::string url() const;

 private:
  int m_fd = -1;
  int m_port = 0;
};

// A minisign key pair without a password, made in folder for one test.
class SigningKey {
 public:
  explicit SigningKey(const std::string& folder);

  // The public key as tavorc takes it: "TAVORC_UPDATE_PUBKEY=<base64>".
  std::string environment() const { return "TAVORC_UPDATE_PUBKEY=" + m_publicKey; }
  const std::string& secretKeyFile() const { return m_secretKeyFile; }

  // Writes the manifest of the files below folder and its signature there,
  // as packaging/sign-package.sh does for a release.
  void sign(const std::string& folder) const;

 private:
  std::string m_secretKeyFile;
  std::string m_publicKey;
};
