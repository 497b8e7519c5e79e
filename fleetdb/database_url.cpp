#include "fleetdb/database_url.h"

#include <libpq-fe.h>

#include <regex>

namespace fleetdb {

namespace {

// The userinfo's password: between the first ':' after the scheme and the '@' of the host.
const std::regex& Userinfo() {
  static const std::regex userinfo(R"(^(postgres(?:ql)?://[^:/@?#]*):([^@/?#]*)@)", std::regex::icase);
  return userinfo;
}
// A password given as an option of the URL or as a key=value pair.
const std::regex& Option() {
  static const std::regex option(R"((^|[?&\s])password=('(?:[^'\\]|\\.)*'|[^&\s]*))", std::regex::icase);
  return option;
}

void Hide(std::string& message, const std::string& secret) {
  if (secret.empty()) return;
  for (std::size_t at = message.find(secret); at != std::string::npos; at = message.find(secret, at + 3)) {
    message.replace(at, secret.size(), "***");
  }
}

}  // namespace

std::string DisplayUrl(const std::string& url) {
  const std::string shown = std::regex_replace(url, Userinfo(), "$1:***@");
  return std::regex_replace(shown, Option(), "$1password=***");
}

std::string WithoutPassword(const std::string& url, std::string message) {
  std::smatch found;
  if (std::regex_search(url, found, Userinfo())) Hide(message, found[2].str());
  for (auto it = std::sregex_iterator(url.begin(), url.end(), Option()); it != std::sregex_iterator(); ++it) {
    std::string secret = (*it)[2].str();
    Hide(message, secret);
    if (secret.size() >= 2 && secret.front() == '\'') Hide(message, secret.substr(1, secret.size() - 2));
  }
  return message;
}

bool ValidUrl(const std::string& url, std::string& error) {
  char* why = nullptr;
  PQconninfoOption* options = PQconninfoParse(url.c_str(), &why);
  if (options == nullptr) {
    error = why != nullptr ? why : "unreadable";
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    PQfreemem(why);
    return false;
  }
  PQconninfoFree(options);
  return true;
}

}  // namespace fleetdb
