// The command line with a HART modem: what it makes of a port name a script left empty.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

std::string ReadAll(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  return text;
}

TEST(CommandLinePort, AnEmptyOrMissingPortNameIsAUsageError) {
  const std::vector<std::vector<const char*>> cases{
      {"kestrel7", "identify", "--port", "", "-o", "a.pom"},
      {"kestrel7", "--port", ""},
      {"kestrel7", "identify", "--port"},
      {"kestrel7", "identify", "--port", "--no-rts"},
  };
  for (const auto& argv : cases) {
    const CommandLine args = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(args.command, CommandLine::Command::Error) << argv.size();
    EXPECT_EQ(args.error, "после --port нужно имя последовательного порта") << argv.size();

    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunUsageError(args, err), 2);
    EXPECT_EQ(ReadAll(err), "kestrel7: после --port нужно имя последовательного порта\n\n" +
                                HelpText());
    std::fclose(err);
  }
}

}  // namespace
