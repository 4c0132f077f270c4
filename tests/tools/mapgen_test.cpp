// mapgen as a command: what it writes, and its answers to bad arguments and
// to a file it cannot write.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/tools/read_back.h"

namespace {

// Runs mapgen with `args`; returns its exit status, and its stderr in `err`.
int Mapgen(const std::string& args, std::string& err) {
  std::string errPath = testing::TempDir() + "/mapgen-stderr.txt";
  int status = std::system((MIVO_MAPGEN " " + args + " >/dev/null 2>" + errPath).c_str());
  std::vector<uint8_t> text = FileBytes(errPath);
  err.assign(text.begin(), text.end());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Mapgen, WritesTheMapsAndRefusesBadArguments) {
  std::string out = testing::TempDir() + "/mapgen-out.bsp", err;
  std::filesystem::remove(out);
  for (std::string args : {"", "demo", "cave @", "grid @", "grid -1 @", "grid 64001 @",
                           "grid 12x @", "demo @ extra"}) {
    if (size_t at = args.find('@'); at != std::string::npos) args.replace(at, 1, out);
    EXPECT_EQ(Mapgen(args, err), 2) << args;
    EXPECT_NE(err.find("usage: mapgen"), std::string::npos) << args;
    EXPECT_FALSE(std::filesystem::exists(out)) << args;
  }
  EXPECT_EQ(Mapgen("demo /nonexistent-dir/demo.bsp", err), 1);
  EXPECT_NE(err.find("cannot write /nonexistent-dir/demo.bsp"), std::string::npos);

  ASSERT_EQ(Mapgen("grid 250 " + out, err), 0);
  EXPECT_EQ(FileBytes(out), BspBytes(GridMap(250)));
  // The build's own demo map is the writer's.
  EXPECT_EQ(FileBytes(MIVO_DEMO_MAP), BspBytes(DemoMap()));
}

}  // namespace
