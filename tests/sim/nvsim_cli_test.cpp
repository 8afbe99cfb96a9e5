// nvsim as the demo and the end-to-end tests use it.
#include "tests/support/run.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out;
};

// nvsim with these arguments; what it printed on either stream.
Result run(const std::string& args) {
    auto r = nv::test::Run(std::string(NV_BIN_DIR) + "/nvsim " + args);
    return {r.exitCode, r.out + r.err};
}

TEST(NvsimCli, CreateFaultInspectAndReplug) {
    nv::test::TempDir scratch;
    const std::string dir = scratch / "world";
    ASSERT_EQ(run("create " + dir + " -p ravix-damaged").status, 0);
    auto r = run("inspect " + dir);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Generic / Flash Disk / 7.76 (default"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("capacity: 32768 sectors (damaged capacity setting)"), std::string::npos) << r.out;

    ASSERT_EQ(run("fault " + dir + " --fail-opcode 9a --fail-after 7").status, 0);
    r = run("inspect " + dir);
    EXPECT_NE(r.out.find("faults: fail-opcode=9Ah fail-after=7"), std::string::npos) << r.out;
    ASSERT_EQ(run("fault " + dir + " --clear").status, 0);
    EXPECT_EQ(run("inspect " + dir).out.find("faults:"), std::string::npos);

    EXPECT_NE(run("fault " + dir + " --fail-opcode zz").status, 0);
    EXPECT_NE(run("inspect " + dir + "/missing").status, 0);
    EXPECT_EQ(run("replug " + dir).status, 0);
    // Only a world may be replaced.
    fs::create_directories(dir + "-other");
    std::FILE* f = std::fopen((dir + "-other/keep.txt").c_str(), "w");
    std::fclose(f);
    EXPECT_NE(run("create " + dir + "-other -p ravix").status, 0);
    EXPECT_TRUE(fs::exists(dir + "-other/keep.txt"));
}

}  // namespace
