// Build tool: writes BootCode.r, Device.ini and deft50.esp into the folder
// given as its one argument.
#include "kolmar/resources/kolmar_files.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output dir>\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    auto put = [&](const char* name, const std::string& content) {
        std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        return static_cast<bool>(out);
    };
    if (!put("BootCode.r", nv::kolmar::BootCodeArchive()) || !put("Device.ini", nv::kolmar::DeviceIni()) ||
        !put("deft50.esp", nv::kolmar::Deft50Esp())) {
        std::fprintf(stderr, "%s: cannot write into %s\n", argv[0], dir.c_str());
        return 1;
    }
    return 0;
}
