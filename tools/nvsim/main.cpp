// nvsim: makes and inspects simulated worlds (drives, controllers, media).
#include "sim/presets.h"
#include "sim/ravix_world.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace {

std::optional<std::uint8_t> opcode(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return static_cast<std::uint8_t>(std::stoul(text, nullptr, 16));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Makes and inspects simulated Norvalyn drives"};
    app.require_subcommand(1);

    std::string dir, preset = "ravix";
    auto* create = app.add_subcommand("create", "make a simulated world in DIR from a preset");
    create->add_option("dir", dir, "world directory (created; an existing world there is replaced)")->required();
    create->add_option("--preset,-p", preset, "preset name (see 'nvsim presets')");

    auto* presets = app.add_subcommand("presets", "list the presets");

    auto* inspect = app.add_subcommand("inspect", "print the Ravix drives of the world in DIR");
    inspect->add_option("dir", dir, "world directory")->required();

    auto* replug = app.add_subcommand("replug", "re-enumerate the drives of DIR as the controllers now report them");
    replug->add_option("dir", dir, "world directory")->required();

    std::string drive, failOp, checkOp;
    std::uint32_t failAfter = 0;
    bool pull = false, clear = false;
    auto* fault = app.add_subcommand("fault", "set the faults of a Ravix drive of DIR (replacing earlier ones)");
    fault->add_option("dir", dir, "world directory")->required();
    fault->add_option("--drive", drive, "USB device name, e.g. 1-1 (default: the first Ravix drive)");
    fault->add_option("--fail-opcode", failOp, "commands with this opcode (hex) fail");
    fault->add_option("--check-opcode", checkOp, "commands with this opcode (hex) end in CHECK CONDITION");
    auto* after = fault->add_option("--fail-after", failAfter, "every command after the next N fails");
    fault->add_flag("--pull", pull, "the drive is pulled: every later command fails");
    fault->add_flag("--clear", clear, "remove every fault");

    CLI11_PARSE(app, argc, argv);

    std::string error;
    auto fail = [&]() {
        std::cerr << "nvsim: " << error << "\n";
        return 1;
    };
    if (*presets) {
        for (const auto& p : nv::sim::Presets()) std::cout << p.name << "\t" << p.description << "\n";
        return 0;
    }
    if (*create) {
        if (!nv::sim::CreatePreset(dir, preset, &error)) return fail();
        std::cout << "created " << dir << " (" << preset << ")\n";
        return 0;
    }
    if (*inspect) return nv::sim::Inspect(dir, std::cout, &error) ? 0 : fail();
    if (*replug) return nv::sim::Replug(dir, &error) ? 0 : fail();
    if (*fault) {
        nv::sim::ravix::Faults f;
        try {
            if (!clear) {
                f.failOpcode = opcode(failOp);
                f.checkOpcode = opcode(checkOp);
                if (after->count()) f.failAfter = failAfter;
                f.pulled = pull;
            }
        } catch (const std::exception&) {
            error = "an opcode is two hexadecimal digits";
            return fail();
        }
        return nv::sim::SetFaults(dir, drive, f, &error) ? 0 : fail();
    }
    return 0;
}
