#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

TEST(CommandLineVersion, VersionWinsOverEverythingElseOnTheLine) {
  struct Case {
    std::vector<const char*> argv;
    CommandLine::Command expected;
  };
  const Case cases[] = {
      {{"kestrel7", "--version"}, CommandLine::Command::Version},
      {{"kestrel7", "show", "a.pom", "--version"}, CommandLine::Command::Version},
      {{"kestrel7", "--port", "/dev/ttyS0", "--version", "fly"}, CommandLine::Command::Version},
      {{"kestrel7", "--version", "--help"}, CommandLine::Command::Version},
      {{"kestrel7", "-version"}, CommandLine::Command::Error},
      {{"kestrel7", "version"}, CommandLine::Command::Error},
  };
  for (const Case& c : cases) {
    const CommandLine args = ParseCommandLine(static_cast<int>(c.argv.size()), c.argv.data());
    EXPECT_EQ(args.command, c.expected) << c.argv.back();
  }
}

TEST(CommandLineVersion, PrintsTheProgramNameAndTheProjectVersion) {
  EXPECT_TRUE(std::regex_match(VersionText(), std::regex("kestrel7 [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << VersionText();
  EXPECT_NE(HelpText().find("kestrel7 --version"), std::string::npos);
}

}  // namespace
