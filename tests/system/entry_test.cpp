#include <gtest/gtest.h>

#include "tests/support/sandbox.h"

TEST(Entry, AnswersAppInfoWithHeadersInOrder) {
  Sandbox sandbox;
  CgiResponse response = sandbox.get("cmd=app_info", "");
  EXPECT_EQ(0, response.exitStatus);
  EXPECT_EQ(200, response.status());
  std::vector<std::string> names = {"Status", "Content-Type", "Date", "Expires", "Set-Cookie"};
  EXPECT_EQ(names, response.headerNames);
  EXPECT_EQ("{\"lng\":\"en\",\"nnvc\":\"0\",\"sdb\":false,\"version\":\"0.7.1\"}\n", response.body);
}
