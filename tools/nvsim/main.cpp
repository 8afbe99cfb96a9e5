// nvsim: makes and inspects simulated worlds (drives, controllers, media).
#include "sim/presets.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
    CLI::App app{"Makes and inspects simulated Norvalyn drives"};
    app.require_subcommand(1);

    std::string dir, preset = "ravix";
    auto* create = app.add_subcommand("create", "make a simulated world in DIR from a preset");
    create->add_option("dir", dir, "world directory (created; an existing world there is replaced)")->required();
    create->add_option("--preset,-p", preset, "preset name (see 'nvsim presets')");

    auto* presets = app.add_subcommand("presets", "list the presets");

    CLI11_PARSE(app, argc, argv);

    if (*presets) {
        for (const auto& p : nv::sim::Presets()) std::cout << p.name << "\t" << p.description << "\n";
        return 0;
    }
    if (*create) {
        std::string error;
        if (!nv::sim::CreatePreset(dir, preset, &error)) {
            std::cerr << "nvsim: " << error << "\n";
            return 1;
        }
        std::cout << "created " << dir << " (" << preset << ")\n";
        return 0;
    }
    return 0;
}
