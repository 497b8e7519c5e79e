#include "fleetdb/database_url.h"

#include <libpq-fe.h>

#include <regex>

namespace fleetdb {

std::string DisplayUrl(const std::string& url) {
  // The userinfo's password: between the first ':' after the scheme and the '@' of the host.
  static const std::regex userinfo(R"(^(postgres(?:ql)?://[^:/@?#]*):[^@/?#]*@)", std::regex::icase);
  // A password given as an option of the URL or as a key=value pair.
  static const std::regex option(R"((^|[?&\s])password=('(?:[^'\\]|\\.)*'|[^&\s]*))", std::regex::icase);
  std::string shown = std::regex_replace(url, userinfo, "$1:***@");
  return std::regex_replace(shown, option, "$1password=***");
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
