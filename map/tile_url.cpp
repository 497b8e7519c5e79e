#include "map/tile_url.h"

#include <cstdint>
#include <cstdio>

namespace map {

namespace {

bool Has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

void ReplaceAll(std::string& text, std::string_view from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// FNV-1a, 64 bits: a stable name for a template.
std::uint64_t Hash(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

std::string HostOf(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return "tiles";
  std::string_view rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/:?"));
  std::string host;
  for (const char c : rest) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    host += plain ? c : '_';
  }
  return host.empty() || host.find_first_not_of('.') == std::string::npos ? "tiles" : host;
}

}  // namespace

bool IsTileUrlTemplate(std::string_view pattern) {
  const bool web = pattern.starts_with("http://") || pattern.starts_with("https://");
  return web && Has(pattern, "{z}") && Has(pattern, "{x}") && (Has(pattern, "{y}") || Has(pattern, "{-y}"));
}

std::optional<std::string> TileUrl(std::string_view pattern, const TileId& tile) {
  if (!IsTileUrlTemplate(pattern) || tile.zoom < 0 || tile.zoom > 30) return std::nullopt;
  std::string url(pattern);
  static const char* const kServers[] = {"a", "b", "c"};
  ReplaceAll(url, "{s}", kServers[static_cast<unsigned>(tile.x + tile.y) % 3]);
  ReplaceAll(url, "{z}", std::to_string(tile.zoom));
  ReplaceAll(url, "{x}", std::to_string(tile.x));
  ReplaceAll(url, "{-y}", std::to_string((1 << tile.zoom) - 1 - tile.y));
  ReplaceAll(url, "{y}", std::to_string(tile.y));
  return url;
}

std::string TileCachePath(std::string_view pattern, const TileId& tile) {
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Hash(pattern)));
  return HostOf(pattern) + "-" + hash + "/" + std::to_string(tile.zoom) + "/" + std::to_string(tile.x) + "/" +
         std::to_string(tile.y);
}

}  // namespace map
