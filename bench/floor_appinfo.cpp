// The floor of a small request: read the configuration with the JSON library,
// write it back styled, print an answer of the same size as app_info's.
// Usage: floor_appinfo CONFIG_FILE
#include <json/json.h>

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Json::Value root;
  {
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    Json::Reader reader;
    if (!reader.parse(text.str(), root, false)) root = Json::Value(Json::objectValue);
  }
  std::ostringstream styled;
  Json::StyledStreamWriter("\t").write(styled, root);
  std::ofstream(argv[1], std::ios::trunc) << styled.str();
  fputs(
      "Status: 200\nContent-Type: application/json; charset=utf8\n"
      "Date: Wed, 09 Dec 2026 03:59:34 GMT\nExpires: Wed, 09 Dec 2026 03:59:34 GMT\n\n"
      "{\"lng\":\"en\",\"nnvc\":\"0\",\"sdb\":false,\"version\":\"0.7.1\"}\n",
      stdout);
  return 0;
}
