// nvsim as the demo and the end-to-end tests use it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out;
};

Result run(const std::string& args) {
    std::string cmd = std::string(NV_BIN_DIR) + "/nvsim " + args + " 2>&1";
    Result r{-1, {}};
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    while (std::fgets(buf.data(), buf.size(), p)) r.out += buf.data();
    r.status = ::pclose(p);
    return r;
}

TEST(NvsimCli, CreateFaultInspectAndReplug) {
    std::string dir = (fs::temp_directory_path() / ("nv-nvsim-cli-" + std::to_string(::getpid()))).string();
    fs::remove_all(dir);
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
    fs::remove_all(dir);
    fs::remove_all(dir + "-other");
}

}  // namespace
